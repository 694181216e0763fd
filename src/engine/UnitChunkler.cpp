// The engine object: checks, result texts, the user's side of a job, and the split and join drivers.
#include "engine/UnitChunkler.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

// The open-file dialog record of the Windows 2000 layout: 88 bytes in the 32-bit program.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEA) == 88);

int TPlainWin32Hooks::ShowMessage(HWND Owner, const std::string& Text, const std::string& Caption,
                                  UINT Type) {
    return MessageBoxA(Owner, Text.c_str(), Caption.c_str(), Type);
}

bool TPlainWin32Hooks::OpenFileDialog(HWND Owner, const std::string& PresetPath, std::string& ChosenPath) {
    char fileName[MAX_PATH] = {};
    char fileTitle[MAX_PATH] = {};
    // A preset longer than the buffer is cut; the dialog needs it terminated.
    PresetPath.copy(fileName, MAX_PATH - 1);

    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Owner;
    ofn.hInstance = GetModuleHandleA(nullptr);
    ofn.lpstrFile = fileName;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrFileTitle = fileTitle;
    ofn.nMaxFileTitle = MAX_PATH;
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!OpenFileNameDialog(&ofn))
        return false;
    ChosenPath = fileName;
    return true;
}

TChunkler::TChunkler(TChunklerHooks* AWindow) : FileInfos(std::make_unique<TFileInfos>()), Window(AWindow) {
    if (!Window) {
        PlainWindow = std::make_unique<TPlainWin32Hooks>();
        Window = PlainWindow.get();
    }
}

TChunkler::~TChunkler() {
    FreeAndClear(FileInfos);
}

TChunklerResult TChunkler::Execute(TChunklerStartParams& AParams) {
    Params = &AParams;
    return Params->Unsplit ? Join() : Split();
}

void TChunkler::ShowResult(TChunklerResult Code) {
    // The catalogue text of each result code, indexed by the code; -1 for none. crOk, crFileError (its
    // box is shown already), crCancelled and any value above crUnknownError show nothing.
    static const int messages[] = {-1,
                                   MsgNotFound,
                                   MsgNotFound,
                                   MsgFolderNotAllowed,
                                   MsgFolderExpected,
                                   MsgRemovableOutput,
                                   MsgInvalidSize,
                                   MsgTooManyParts,
                                   MsgInvalidHeader,
                                   -1,
                                   MsgNoBatchForFolder};
    if (IsSilent())
        return;
    if (Code == crUnknownError)
        ShowMessage(TextUnknownError, MB_OK | MB_ICONWARNING);
    else if (Code < std::size(messages) && messages[Code] >= 0)
        ShowMessage(FormatMsg(messages[Code]), MB_OK | MB_ICONWARNING);
}

// Every failing check assigns its code, so the last failing one decides.
TChunklerResult TChunkler::CheckParams(bool ForSplit) {
    TChunklerResult result = crOk;

    Params->SourcePath = StripTrailingBackslashes(ExpandFullPath(Params->SourcePath));
    switch (GetPathKind(Params->SourcePath)) {
    case pkMissing:
        result = crSourceNotFound;
        break;
    case pkFolder:
    case pkRoot:
        if (!ForSplit) {
            result = crFolderNotAllowed;
        } else if (Params->CreateBatch) {
            // "copy /b" can only rebuild one file; the split goes on without the batch file.
            Params->CreateBatch = false;
            ShowResult(crNoBatchForFolder);
        }
        break;
    case pkFile:
        break;
    }

    Params->OutputDir = StripTrailingBackslashes(ExpandFullPath(Params->OutputDir));
    switch (GetPathKind(Params->OutputDir)) {
    case pkMissing:
        result = crOutputNotFound;
        break;
    case pkFile:
        result = crFolderExpected;
        break;
    case pkFolder:
    case pkRoot: {
        const UINT type = GetDriveTypeA(AppendBackslash(GetPathRoot(Params->OutputDir)).c_str());
        if (type == DRIVE_REMOVABLE || type == DRIVE_CDROM)
            result = crRemovableOutput;
        break;
    }
    }

    if (ForSplit && Params->PartSize <= 0)
        result = crInvalidSize;
    return result;
}

int64_t TChunkler::PartCount(int64_t Bytes) const {
    const int64_t size = Params ? Params->PartSize : 0;
    if (size <= 0 || Bytes <= 0)
        return 0;
    return Bytes / size + (Bytes % size != 0 ? 1 : 0);
}

bool TChunkler::IsSilent() const {
    return !Params || Params->Silent;
}

int64_t TChunkler::PartLimit() const {
    int64_t limit = 0;
    // A part size from the command line can be big enough for the product to leave Int64; no content
    // can reach such a limit.
    if (__builtin_mul_overflow(Params->PartSize, int64_t{MaxPartCount}, &limit))
        return std::numeric_limits<int64_t>::max();
    return limit;
}

TChunklerResult TChunkler::Split() {
    TChunklerResult result = CheckParams(true);
    ShowWaitCursor();
    try {
        Caption = FormatMsg(MsgSplit);
        if (result == crOk && FileInfos->BuildFromPath(Params->SourcePath, PartLimit()))
            result = crTooManyParts;
        // An empty drive root lists nothing, so there is no name for the part files.
        if (result == crOk && FileInfos->Count() == 0)
            result = crSourceNotFound;
        // Decided before the first part is written, so no batch file is ever begun for such a name. Short
        // 8.3 names are no way out: they may be switched off, and they differ on the volume where the
        // parts are gathered again, where the rebuilt file does not even exist yet.
        if (result == crOk && Params->CreateBatch && !OemHoldsName(FileInfos->GetItem(0)->FileName)) {
            Params->CreateBatch = false;
            ShowMessage(FormatMsg(MsgNoBatchForName, {FileInfos->GetItem(0)->FileName}),
                        MB_OK | MB_ICONWARNING);
        }
        if (result == crOk && !IsSilent()) {
            const std::string question =
                FormatMsg(MsgConfirmPartCount,
                          {std::to_string(PartCount(FileInfos->TotalSize())), FormatMsg(MsgEscHint)});
            if (ShowMessage(question, MB_YESNO | MB_ICONINFORMATION) != IDYES)
                result = crCancelled;
        }
        if (result == crOk) {
            if (Params->CopyProgram)
                CopyProgramFile();
            SetProgressMax(FileInfos->TotalSize() + FileInfos->HeaderSize());
            result = WriteParts();
        }
        if (result == crOk && !IsSilent())
            ShowSplitSummary();
    } catch (...) {
        result = crUnknownError;
    }
    HideWaitCursor();
    SetProgressMax(0);
    return result;
}

// Names the files a join will need. The parts follow from the content (an empty last part at an exact
// boundary is never read, but part 1 always is); the header files are counted as written, since a
// header that starts on a nearly full last part spreads over more files than its size suggests.
void TChunkler::ShowSplitSummary() {
    const int64_t parts = std::max<int64_t>(1, PartCount(FileInfos->TotalSize()));
    std::string text = FormatMsg(MsgSplitDone, {std::to_string(parts), std::to_string(HeaderFilesWritten)});
    if (Params->PartSize == DefaultPartSize || Params->PartSize == SmallDiskPartSize)
        text += "\r\n" + FormatMsg(MsgDiskNote);
    ShowMessage(text, MB_OK | MB_ICONINFORMATION);
}

TChunklerResult TChunkler::Join() {
    TChunklerResult result = CheckParams(false);
    ShowWaitCursor();
    try {
        Caption = FormatMsg(MsgJoin);
        if (result == crOk && !IsSilent() &&
            ShowMessage(FormatMsg(MsgConfirmJoin, {FormatMsg(MsgEscHint)}), MB_YESNO | MB_ICONINFORMATION) !=
                IDYES)
            result = crCancelled;
        if (result == crOk)
            result = JoinParts();
    } catch (...) {
        result = crUnknownError;
    }
    HideWaitCursor();
    SetProgressMax(0);
    return result;
}

HWND TChunkler::OwnerWindow() {
    return IsSilent() ? nullptr : Window->OwnerWindow();
}

void TChunkler::ShowWaitCursor() {
    if (!IsSilent())
        Window->ShowWaitCursor();
}

void TChunkler::HideWaitCursor() {
    if (!IsSilent())
        Window->HideWaitCursor();
}

bool TChunkler::CheckUserCancel(const std::string& ACaption) {
    return !IsSilent() && Window->CheckUserCancel(ACaption);
}

void TChunkler::SetProgressMax(int64_t Total) {
    if (!IsSilent())
        Window->SetProgressMax(Total);
}

void TChunkler::SetProgress(int64_t Done) {
    if (!IsSilent())
        Window->SetProgress(Done);
}

int TChunkler::ShowMessage(const std::string& Text, UINT Type) {
    if (IsSilent())
        return IDOK;
    return Window->ShowMessage(OwnerWindow(), Text, Caption, Type);
}

bool TChunkler::MayCreateFile(const std::string& FileName, bool& OverwriteAll) {
    if (GetPathKind(FileName) != pkFile)
        return true;
    if (IsSilent())
        OverwriteAll = true;
    if (!OverwriteAll)
        OverwriteAll = ShowMessage(FormatMsg(MsgConfirmOverwrite, {FileName}),
                                   MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    return OverwriteAll;
}

void TChunkler::ShowFileError(const EExceptionLite& Error) {
    if (!IsSilent())
        ShowMessage(Error.Message, MB_OK | MB_ICONERROR);
}
