// Small helpers shared by every unit: path roots, sized buffers, ownership and 64-bit minimum.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <cstdint>
#include <memory>
#include <string>

// The drive ("C:") or share root ("\\server\share") at the start of Path, without trailing
// backslash; empty when Path starts with neither.
std::string GetPathRoot(const std::string& Path);

// A heap block of Size usable bytes that remembers its total size in the 4 bytes before it.
void* AllocSizedBuffer(uint32_t Size);
// Frees a block from AllocSizedBuffer; nullptr is ignored.
void FreeSizedBuffer(void* Block);

// Clears the reference first, then frees what it held, so nothing can reach a half-destroyed object.
template <class T> void FreeAndClear(std::unique_ptr<T>& Ref) {
    std::unique_ptr<T> old = std::move(Ref);
    old.reset();
}

inline int64_t MinInt64(int64_t A, int64_t B) { return A < B ? A : B; }

// GetOpenFileNameA from comdlg32, loaded on first use: importing comdlg32 makes Wine start its desktop
// process at every program start, which costs a silent run more than a small split takes.
// FALSE (as a cancelled dialog) when the library cannot be loaded.
BOOL OpenFileNameDialog(OPENFILENAMEA* Dialog);
