// Hand-made part and header sets for join tests, independent of the splitter, and a tree comparison
// to the millisecond for trees whose times nobody here chose.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "engine/UnitChunkler.h"

// Results as numbers in test messages, not as the control characters of their byte values.
inline void PrintTo(TChunklerResult Result, std::ostream* Out) {
    *Out << static_cast<int>(Result);
}

namespace testsupport {

// One header record: name, kind letter, size and 17-digit time, joined by TABs.
std::string HeaderRecord(const std::string& Name, char Kind, int64_t Size,
                         const std::string& Time = "20030517140309250");
// The magic, each record behind a TAB, and the two closing TABs.
std::string HeaderText(const std::vector<std::string>& Records);

// Writes Data as SetName.001, .002, ... of PartSize bytes each into Folder, and Header as
// SetName.h001, .h002, ... cut into slices of HeaderSlice bytes (0: one header file).
// Returns the number of data parts.
int WriteSet(const std::string& Folder, const std::string& SetName, const std::string& Data, size_t PartSize,
             const std::string& Header, size_t HeaderSlice = 0);

// CompareTrees with times cut to whole milliseconds (the precision a header keeps), for trees made
// elsewhere. Names that Expected holds twice in different case are left out: a Windows folder keeps
// only one of them. Empty when equal.
std::string CompareTreesToMillisecond(const std::string& Expected, const std::string& Actual);

// Number of files named SetName.<infix>NNN in Folder.
int CountSetFiles(const std::string& Folder, const std::string& SetName, const std::string& Infix);

} // namespace testsupport
