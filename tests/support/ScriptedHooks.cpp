#include "support/ScriptedHooks.h"

#include <sstream>

namespace testsupport {

bool TScriptedHooks::CheckUserCancel(const std::string&) {
    ++Polls;
    if (OnPoll)
        OnPoll(Polls);
    return CancelAtPoll > 0 && Polls >= CancelAtPoll;
}

int TScriptedHooks::ShowMessage(HWND AOwner, const std::string& Text, const std::string& Caption, UINT Type) {
    TMessageRecord rec{AOwner, Text, Caption, Type, 0};
    if (OnMessage)
        OnMessage(rec);
    if (!Answers.empty()) {
        rec.Answer = Answers.front();
        Answers.pop_front();
    } else {
        rec.Answer = (Type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }
    Messages.push_back(rec);
    return rec.Answer;
}

bool TScriptedHooks::OpenFileDialog(HWND, const std::string& PresetPath, std::string& ChosenPath) {
    DialogPresets.push_back(PresetPath);
    if (DialogAnswers.empty())
        return false;
    std::optional<std::string> answer = DialogAnswers.front();
    DialogAnswers.pop_front();
    if (!answer)
        return false;
    ChosenPath = *answer;
    return true;
}

std::vector<TMessageRecord> TScriptedHooks::WithIcon(UINT Icon) const {
    std::vector<TMessageRecord> out;
    for (const auto& m : Messages)
        if ((m.Type & MB_ICONMASK) == Icon)
            out.push_back(m);
    return out;
}

std::string TScriptedHooks::Dump() const {
    std::ostringstream s;
    s << Messages.size() << " message box(es)\n";
    for (const auto& m : Messages)
        s << "  [" << m.Caption << "] type 0x" << std::hex << m.Type << std::dec << " answer " << m.Answer
          << ": " << m.Text << "\n";
    return s.str();
}

} // namespace testsupport
