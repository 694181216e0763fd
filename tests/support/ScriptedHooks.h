// A stand-in for the user and the main window of a window-mode job: it records every message box and
// answers the engine's questions and dialogs from a script.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/UnitChunkler.h"

namespace testsupport {

struct TMessageRecord {
    std::string Text;
    std::string Caption;
    UINT Type = 0;
    int Answer = 0;
};

class TScriptedHooks : public TChunklerHooks {
public:
    // A made-up window handle: the engine must hand it on as owner, nobody draws on it.
    HWND Owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4711));

    // Each box takes the next scripted answer; when none is left, Yes/No gets IDYES, any other IDOK.
    std::deque<int> Answers;
    std::vector<TMessageRecord> Messages;
    std::function<void()> OnMessage; // runs before each box is answered
    // The CancelAtPoll-th cancel poll (from 1) and every later one answer True; 0 never cancels.
    int CancelAtPoll = 0;
    int Polls = 0;
    std::function<void()> OnPoll;
    int64_t Progress = -1; // the last SetProgress value
    int Calls = 0;         // every call but the boxes: a silent job must make none
    // Each open-file dialog takes the next answer, std::nullopt or none left meaning Cancel.
    std::deque<std::optional<std::string>> DialogAnswers;

    HWND OwnerWindow() override { return Owner; }
    void ShowWaitCursor() override { ++Calls; }
    void HideWaitCursor() override { ++Calls; }
    bool CheckUserCancel(const std::string& Caption) override;
    void SetProgressMax(int64_t) override { ++Calls; }
    void SetProgress(int64_t Done) override { Progress = Done; }
    int ShowMessage(HWND AOwner, const std::string& Text, const std::string& Caption, UINT Type) override;
    bool OpenFileDialog(HWND AOwner, const std::string& PresetPath, std::string& ChosenPath) override;

    std::vector<std::string> Texts() const; // the texts of all boxes, in order
};

} // namespace testsupport
