#include "support/UnitLanguage.h"

#include <windows.h>

#include <cstdio>

// The German letters are Windows-1252 bytes (a umlaut 0xE4, o umlaut 0xF6, u umlaut 0xFC); each escape
// ends its literal so that a following letter a-f is not read as one more hex digit.
// clang-format off
const char* const MsgCatalogEn[MsgCount] = {
    "Split",
    "Join",
    "Close",
    "File or directory to split, partfile to join",
    "Output directory",
    "Only for splitting",
    "Size",
    "Copy Chunkler to the output directory",
    "Create batchfile for joining",
    "You cannot create more than 999 parts!",
    "There are # parts to create. # Do you want to continue?",
    "Chunkler has succesfully created # partfile(s) and # headerfile(s). The last partfile and the first "
    "headerfile fit on the same disk.",
    "File \"#\" already exists. Always overwrite existing files?",
    "File \"#\" missed!",
    "Invalid size!",
    "Note: Sometimes preformatted floppy disks have damaged sectors, so please make sure, you can read back "
    "the copied files from the disks!",
    "Directories not allowed here! For joining, please select one of the partfiles instead.",
    "Directory expected!",
    "File or Directory not found!",
    "Chunkler cannot write directly to removable disks (diskettes/CD)!",
    "The file \"#\" is required.\r\nPlease insert the next diskette and press OK. You can also press OK and "
    "browse for the file yourself.",
    "Do you really want to cancel?",
    "You can press the <ESC> key to interrupt the job.",
    "The parts will be rejoined. # Do you want to continue?",
    "Batchfiles can only join splitted files, for splitting folders no batchfile will be created.",
    "Invalid headerfile!",
    "No batchfile can be created for \"#\": the command prompt cannot spell this file name. The file will "
    "be split without a batchfile.",
    "Part file \"#\" is damaged (checksum error)!",
    "Folder \"#\" cannot be read: #",
    "No batchfile can be created for \"#\": the batchfile would have the name of the file it rebuilds. The "
    "file will be split without a batchfile.",
    "Part file \"#\" has the wrong size: it is damaged or belongs to another set!",
    "File \"#\" cannot be replaced: #",
    "The new set is complete, but # older file(s) could not be removed and remain under another name, the "
    "first as \"#\": #",
    "\"#\" cannot be split: Windows reserves this name for a device.",
    "The part size is too small for the recovery files: each of them must fit on the disk of one part. "
    "Please choose a larger size!",
    "Invalid /RECOVER switch: the number of files to rebuild must be from 1 to 99!",
    "\"#\" would overwrite a file of the set that is still to be read. Please join into another folder!",
};

const char* const MsgCatalogDe[MsgCount] = {
    "Splitten",
    "Unsplitten",
    "Schliessen",
    "Datei oder Verzeichnis zum splitten / unsplitten",
    "Ausgabeverzeichnis",
    "Nur zum splitten",
    "Gr\xF6" "sse",
    "Chunkler ins Ausgabeverzeichnis mit kopieren",
    "Batchdatei zum unsplitten erstellen",
    "Es k\xF6" "nnen nicht mehr als 999 Teile erstellt werden!",
    "Es werden # Teile erstellt. # Wollen Sie weiterfahren?",
    "Chunkler hat # neue Teildatei(en) und # Headerdatei(en) erstellt. Die letzte Teildatei und die erste "
    "Headerdatei passen auf dieselbe Diskette.",
    "Die Datei \"#\" existiert bereits. Existierende Dateien immer \xFC" "berschreiben?",
    "Datei \"#\" fehlt!",
    "Ung\xFC" "ltige Gr\xF6" "ssenangabe!",
    "Hinweis: Vorformatierte Disketten haben manchmal besch\xE4" "digte Sektoren, \xFC" "berpr\xFC" "fen Sie "
    "deshalb, dass sie die kopierten Dateien von den Disketten zur\xFC" "cklesen k\xF6" "nnen!",
    "Verzeichnisse sind hier nicht erlaubt! Zum zusammenf\xFC" "gen, w\xE4" "hlen Sie statt dessen bitte eine "
    "Teildatei aus.",
    "Verzeichnis erwartet!",
    "Datei oder Verzeichnis nicht gefunden!",
    "Chunkler kann nicht direkt auf auswechselbaren Laufwerke (Disketten/CD) schreiben!",
    "Die Datei \"#\" wird ben\xF6" "tigt.\r\nBitte legen Sie die n\xE4" "chste Diskette ein und dr\xFC" "cken "
    "Sie OK. Sie k\xF6" "nnen auch OK dr\xFC" "cken und die Datei selber suchen.",
    "Wollen Sie wirklich abbrechen?",
    "Mit der <ESC> Taste k\xF6" "nnen Sie den Vorgang unterbrechen.",
    "Die Teile werden zusammengef\xFC" "gt. # Wollen Sie weiterfahren?",
    "Batchdateien k\xF6" "nnen nur gesplittete Dateien zusammenf\xFC" "gen, beim splitten von Verzeichnissen "
    "wird keine Batchdatei erstellt.",
    "Ung\xFC" "ltige Headerdatei!",
    "F\xFC" "r \"#\" kann keine Batchdatei erstellt werden: die Eingabeaufforderung kann diesen Dateinamen "
    "nicht darstellen. Die Datei wird ohne Batchdatei gesplittet.",
    "Die Teildatei \"#\" ist besch\xE4" "digt (Pr\xFC" "fsummenfehler)!",
    "Das Verzeichnis \"#\" kann nicht gelesen werden: #",
    "F\xFC" "r \"#\" kann keine Batchdatei erstellt werden: die Batchdatei h\xE4" "tte den Namen der Datei, die "
    "sie zusammenf\xFC" "gt. Die Datei wird ohne Batchdatei gesplittet.",
    "Die Teildatei \"#\" hat die falsche Gr\xF6" "sse: sie ist besch\xE4" "digt oder geh\xF6" "rt zu einem "
    "anderen Satz!",
    "Die Datei \"#\" kann nicht ersetzt werden: #",
    "Der neue Satz ist vollst\xE4" "ndig, aber # \xE4" "ltere Datei(en) konnten nicht gel\xF6" "scht werden und "
    "bleiben unter anderem Namen, die erste als \"#\": #",
    "\"#\" kann nicht gesplittet werden: Windows reserviert diesen Namen f\xFC" "r ein Ger\xE4" "t.",
    "Die Teilgr\xF6" "sse ist zu klein f\xFC" "r die Wiederherstellungsdateien: jede muss auf die Diskette "
    "eines Teils passen. Bitte w\xE4" "hlen Sie gr\xF6" "ssere Teile!",
    "Ung\xFC" "ltiger Schalter /RECOVER: die Anzahl wiederherstellbarer Dateien muss zwischen 1 und 99 "
    "liegen!",
    "\"#\" w\xFC" "rde eine Datei des Satzes \xFC" "berschreiben, die noch gelesen werden muss. Bitte f\xFC" "gen Sie "
    "in ein anderes Verzeichnis zusammen!",
};
// clang-format on

const char* const TextUnknownError = "An unknown error occured!";
const char* const TextWriteError = "Error writing to file!";

// Other units may build texts during their own static initialisation; a high init priority makes
// sure the language is known before any of them runs.
#if defined(__GNUC__)
std::string UserLanguage __attribute__((init_priority(200))) = UpperCaseStr(GetUserLanguage());
#else
std::string UserLanguage = UpperCaseStr(GetUserLanguage());
#endif

std::string GetUserLanguage() {
    char name[16] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, name, sizeof name) == 0)
        return {};
    std::string result(name);
    if (result.size() > 2)
        result.resize(2);
    return result;
}

// Entry Index, each argument in place of the first "#" counted from the start of the text, or where
// KeepInserted is set, from the end of the argument before, so that a "#" an argument brings stays.
static std::string FillMsg(int Index, std::initializer_list<std::string> Args, bool KeepInserted) {
    // An index outside the catalogue is a caller's mistake; an empty text is safer than reading past it.
    if (Index < 0 || Index >= MsgCount)
        return {};
    std::string text = UserLanguage == "DE" ? MsgCatalogDe[Index] : MsgCatalogEn[Index];
    size_t from = 0;
    for (const std::string& arg : Args) {
        const size_t pos = text.find('#', from);
        if (pos == std::string::npos)
            break;
        text.replace(pos, 1, arg);
        from = KeepInserted ? pos + arg.size() : 0;
    }
    return text;
}

std::string FormatMsg(int Index, std::initializer_list<std::string> Args) {
    // Each argument takes the first "#" from the start, even one that an earlier argument brought in.
    return FillMsg(Index, Args, false);
}

std::string FormatMsgLiteral(int Index, std::initializer_list<std::string> Args) {
    return FillMsg(Index, Args, true);
}

std::string IntToStrZeroPad(int64_t Value, int Width) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(Value));
    std::string text(digits);
    if (Width > 0 && text.size() < static_cast<size_t>(Width))
        text.insert(0, static_cast<size_t>(Width) - text.size(), '0');
    return text;
}

std::string UpperCaseStr(const std::string& Text) {
    std::string result = Text;
    // CharUpperBuffA works on a counted buffer, so embedded zero bytes do not cut the text short.
    if (!result.empty())
        CharUpperBuffA(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

bool IsDigits(std::string_view Text) {
    if (Text.empty())
        return false;
    for (char c : Text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int DigitValue(char C, int Base) {
    int value = -1;
    if (C >= '0' && C <= '9')
        value = C - '0';
    else if (C >= 'a' && C <= 'f')
        value = C - 'a' + 10;
    else if (C >= 'A' && C <= 'F')
        value = C - 'A' + 10;
    return value < Base ? value : -1;
}

bool TryStrToInt64(const std::string& Text, int64_t& Value) {
    size_t pos = 0;
    const size_t len = Text.size();
    while (pos < len && Text[pos] == ' ')
        ++pos;
    bool negative = false;
    if (pos < len && (Text[pos] == '+' || Text[pos] == '-'))
        negative = Text[pos++] == '-';

    int base = 10;
    if (pos < len && (Text[pos] == '$' || Text[pos] == 'x' || Text[pos] == 'X')) {
        base = 16;
        ++pos;
    } else if (pos + 1 < len && Text[pos] == '0' && (Text[pos + 1] == 'x' || Text[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos >= len)
        return false;

    // The magnitude may reach 2^63 only for a negative number; anything larger is out of range.
    const uint64_t limit = negative ? uint64_t(1) << 63 : uint64_t(INT64_MAX);
    const uint64_t ubase = static_cast<uint64_t>(base);
    uint64_t magnitude = 0;
    for (; pos < len; ++pos) {
        const int digit = DigitValue(Text[pos], base);
        if (digit < 0)
            return false;
        const uint64_t udigit = static_cast<uint64_t>(digit);
        if (magnitude > (limit - udigit) / ubase)
            return false;
        magnitude = magnitude * ubase + udigit;
    }
    Value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}
