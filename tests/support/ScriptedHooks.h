// A stand-in for the user and the main window of a window-mode job: it records every message box,
// progress call and dialog, and answers the engine's questions from a script.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/UnitChunkler.h"

namespace testsupport {

struct TMessageRecord {
    HWND Owner = nullptr;
    std::string Text;
    std::string Caption;
    UINT Type = 0;
    int Answer = 0;
};

class TScriptedHooks : public TChunklerHooks {
public:
    // A made-up window handle: the engine must hand it on as owner, nobody draws on it.
    HWND Owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4711));

    // Message boxes: each one takes the next scripted answer; when none is left, a Yes/No question
    // gets IDYES and every other box IDOK.
    std::deque<int> Answers;
    std::vector<TMessageRecord> Messages;
    std::function<void(const TMessageRecord&)> OnMessage; // called before the answer is given

    // Cancel polls: the CancelAtPoll-th call (counted from 1) and every later one answers True;
    // 0 never cancels. OnPoll runs at every poll with its number.
    int CancelAtPoll = 0;
    int Polls = 0;
    std::function<void(int Poll)> OnPoll;

    // Progress and wait cursor.
    std::vector<int64_t> ProgressMaxCalls;
    int64_t Progress = -1; // last SetProgress value, -1 before the first
    int WaitCursorShows = 0;
    int WaitCursorHides = 0;

    // Open-file dialog: each call takes the next scripted answer, std::nullopt meaning Cancel;
    // when none is left the dialog is cancelled.
    std::deque<std::optional<std::string>> DialogAnswers;
    std::vector<std::string> DialogPresets;

    HWND OwnerWindow() override { return Owner; }
    void ShowWaitCursor() override { ++WaitCursorShows; }
    void HideWaitCursor() override { ++WaitCursorHides; }
    bool CheckUserCancel(const std::string& Caption) override;
    void SetProgressMax(int64_t Total) override { ProgressMaxCalls.push_back(Total); }
    void SetProgress(int64_t Done) override { Progress = Done; }
    int ShowMessage(HWND AOwner, const std::string& Text, const std::string& Caption, UINT Type) override;
    bool OpenFileDialog(HWND AOwner, const std::string& PresetPath, std::string& ChosenPath) override;

    // Boxes shown with Icon (MB_ICONERROR, MB_ICONQUESTION, ...).
    std::vector<TMessageRecord> WithIcon(UINT Icon) const;
    // Every box in a readable form, for failure messages.
    std::string Dump() const;
};

} // namespace testsupport
