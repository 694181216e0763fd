// The bilingual message catalogue, the user's language, and the text helpers that go with them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// Catalogue indexes; the same index means the same message in both tables.
enum : int {
    MsgSplit = 0,
    MsgJoin,
    MsgClose,
    MsgSourceLabel,
    MsgOutputDirLabel,
    MsgOnlyForSplitting,
    MsgSizeLabel,
    MsgCopyProgram,
    MsgCreateBatch,
    MsgTooManyParts,
    MsgConfirmPartCount,
    MsgSplitDone,
    MsgConfirmOverwrite,
    MsgFileMissing,
    MsgInvalidSize,
    MsgDiskNote,
    MsgFolderNotAllowed,
    MsgFolderExpected,
    MsgNotFound,
    MsgRemovableOutput,
    MsgInsertNextDisk,
    MsgConfirmCancel,
    MsgEscHint,
    MsgConfirmJoin,
    MsgNoBatchForFolder,
    MsgInvalidHeader,
    MsgNoBatchForName,
    MsgChecksumError,
    MsgFolderUnreadable,
    MsgNoBatchForOwnName,
    MsgPartSizeWrong,
    MsgCannotReplace,
    MsgOlderFilesLeft,
    MsgDeviceName,
    MsgRecoverTooSmall,
    MsgRecoverInvalid,
    MsgOverwritesSetFile,
};
constexpr int MsgCount = 37;

// Windows-1252 bytes, exactly as handed to the ANSI functions.
extern const char* const MsgCatalogEn[MsgCount];
extern const char* const MsgCatalogDe[MsgCount];

// Texts that are English in every language.
extern const char* const TextUnknownError; // "An unknown error occured!"
extern const char* const TextWriteError;   // "Error writing to file!"

// Upper-cased first two letters of the user's abbreviated language name ("DE" selects German).
// Set once before main runs.
extern std::string UserLanguage;

// At most two characters of LOCALE_SABBREVLANGNAME of the user's locale; empty when the query fails.
std::string GetUserLanguage();

// Entry Index in the user's language; each argument in turn replaces the first "#" of the text.
std::string FormatMsg(int Index, std::initializer_list<std::string> Args = {});

// As FormatMsg, but a "#" that an argument brings in stays as it is: for paths, which may hold one.
std::string FormatMsgLiteral(int Index, std::initializer_list<std::string> Args);
// Decimal text of Value, left-filled with "0" to at least Width characters.
std::string IntToStrZeroPad(int64_t Value, int Width);

// A copy upper-cased with the ANSI code page's own rules (CharUpperA).
std::string UpperCaseStr(const std::string& Text);

// True when Text is not empty and holds nothing but the decimal digits 0 to 9.
bool IsDigits(std::string_view Text);

// The value of C as a digit of Base (up to 16, either case); -1 when it is none.
int DigitValue(char C, int Base);

// The number rule of the /SIZE switch and of the window's size field: optional leading blanks, an
// optional sign, then decimal digits or hexadecimal digits behind "$", "x" or "0x"; nothing after
// the digits; the value must lie in the signed 64-bit range. False when the text is not such a number.
bool TryStrToInt64(const std::string& Text, int64_t& Value);
