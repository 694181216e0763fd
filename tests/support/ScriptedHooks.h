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
    std::string Text, Caption;
    UINT Type = 0;
};

class TScriptedHooks : public TChunklerHooks {
public:
    // A made-up window handle: the engine must hand it on as owner, nobody draws on it.
    HWND Owner = reinterpret_cast<HWND>(uintptr_t{0x4711});
    // Each box takes the next scripted answer; when none is left, Yes/No gets IDYES, any other IDOK.
    std::deque<int> Answers;
    std::vector<TMessageRecord> Messages;
    std::function<void()> OnMessage; // runs before each box is answered
    // The CancelAtPoll-th cancel poll (from 1) and every later one answer True; 0 never cancels.
    int CancelAtPoll = 0, Polls = 0;
    std::function<void()> OnPoll;
    int64_t Progress = -1; // the last SetProgress value
    int Calls = 0;         // cursor and progress range: a silent job must make none
    // Each open-file dialog takes the next answer, std::nullopt or none left meaning Cancel.
    std::deque<std::optional<std::string>> DialogAnswers;

    HWND OwnerWindow() override { return Owner; }
    void ShowWaitCursor() override { ++Calls; }
    void HideWaitCursor() override { ++Calls; }
    void SetProgressMax(int64_t) override { ++Calls; }
    void SetProgress(int64_t Done) override { Progress = Done; }
    bool CheckUserCancel(const std::string&) override {
        if (OnPoll)
            OnPoll();
        return ++Polls >= CancelAtPoll && CancelAtPoll > 0;
    }
    int ShowMessage(HWND AOwner, const std::string& Text, const std::string& Caption, UINT Type) override {
        if (OnMessage)
            OnMessage();
        // A box without the main window as owner could hide behind it.
        Messages.push_back({AOwner == Owner ? Text : "<not owned> " + Text, Caption, Type});
        const int answer =
            Answers.empty() ? (Type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK : Answers.front();
        if (!Answers.empty())
            Answers.pop_front();
        return answer;
    }
    bool OpenFileDialog(HWND, const std::string&, std::string& ChosenPath) override {
        const std::optional<std::string> answer =
            DialogAnswers.empty() ? std::nullopt : DialogAnswers.front();
        if (!DialogAnswers.empty())
            DialogAnswers.pop_front();
        ChosenPath = answer.value_or(ChosenPath);
        return answer.has_value();
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& m : Messages)
            texts.push_back(m.Text);
        return texts;
    }
};

} // namespace testsupport
