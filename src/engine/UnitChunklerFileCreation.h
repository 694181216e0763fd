// Creating a file of a job where a file of that name may exist: the one question that covers a job, and
// creating first, asking only where that fails.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "support/UnitFileStream.h"

// The user's answer to "Always overwrite existing files?": asked at the first existing file of a job,
// it holds for every later one. Ask returns True for Yes.
class TOverwriteAnswer {
public:
    explicit TOverwriteAnswer(std::function<bool(const std::string&)> AAsk) : FAsk(std::move(AAsk)) {}
    bool MayReplace(const std::string& FileName) {
        FAll = FAll || FAsk(FileName);
        return FAll;
    }

private:
    std::function<bool(const std::string&)> FAsk;
    bool FAll = false;
};

// FileName created anew through Make, or nullptr where a file of that name exists already (a folder of the
// name is no such file: creating over it raises the system's text).
std::unique_ptr<TFileStreamLite> CreateIfNew(const TStreamMaker& Make, const std::string& FileName);
// True where CREATE_NEW failed because the name is taken.
bool IsTaken(const EExceptionLite& Error);

// Creates FileName through Make; an existing file is replaced only when Answer allows it (nullptr when
// the user keeps it). Creating first and asking only where that fails spares a look-up of every name.
std::unique_ptr<TFileStreamLite> CreateAsking(const TStreamMaker& Make, const std::string& FileName,
                                              TOverwriteAnswer& Answer);
