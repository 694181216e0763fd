#include "support/ScriptedHooks.h"

namespace testsupport {

bool TScriptedHooks::CheckUserCancel(const std::string&) {
    ++Polls;
    if (OnPoll)
        OnPoll();
    return CancelAtPoll > 0 && Polls >= CancelAtPoll;
}

int TScriptedHooks::ShowMessage(HWND AOwner, const std::string& Text, const std::string& Caption, UINT Type) {
    if (OnMessage)
        OnMessage();
    int answer = (Type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    if (!Answers.empty()) {
        answer = Answers.front();
        Answers.pop_front();
    }
    // A box without the main window as owner could hide behind it.
    Messages.push_back({AOwner == Owner ? Text : "<not owned> " + Text, Caption, Type, answer});
    return answer;
}

bool TScriptedHooks::OpenFileDialog(HWND, const std::string&, std::string& ChosenPath) {
    std::optional<std::string> answer;
    if (!DialogAnswers.empty()) {
        answer = DialogAnswers.front();
        DialogAnswers.pop_front();
    }
    if (answer)
        ChosenPath = *answer;
    return answer.has_value();
}

std::vector<std::string> TScriptedHooks::Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : Messages)
        texts.push_back(m.Text);
    return texts;
}

} // namespace testsupport
