// Language files: section and key rules, value syntax, the module's selection rules,
// the message table and the shipped German file.
#include "shell/language.h"
#include "shell/language_setup.h"
#include "shell/lng_file.h"
#include "shell/messages.h"

#include "platform/file_system.h"
#include "support/shipped_language.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <set>

using namespace tessaly;
using tessaly::test::TTempDir;

namespace {

std::string WriteLng(const TTempDir &dir, const std::string &text, const std::string &name = "t.lng")
{
    std::string path = dir.File(name);
    EXPECT_TRUE(tessaly::test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
    return path;
}

// A fresh module per test, so the program-wide one is not disturbed.
std::string Tr(const TLanguageModule &m, const std::string &key)
{
    return m.TranslateOr(key, "<default>");
}

} // namespace

TEST(LngFile, ValueSyntax)
{
    EXPECT_EQ(TLngFile::DecodeValue("'It'#39's'"), "It's");
    EXPECT_EQ(TLngFile::DecodeValue("'it''s'"), "its");
    EXPECT_EQ(TLngFile::DecodeValue("'Press <ESC> to abort ...'"), "Press <ESC> to abort ...");
    EXPECT_EQ(TLngFile::DecodeValue("'first line'\\n'second line'"), "first line\r\nsecond line");
    EXPECT_EQ(TLngFile::DecodeValue("'first line'#13#10'second line'"), "first line\r\nsecond line");
    EXPECT_EQ(TLngFile::DecodeValue("'a' + 'b'"), "ab");                 // blanks and "+" skipped
    EXPECT_EQ(TLngFile::DecodeValue("plain words"), "");                 // nothing quoted or coded
    EXPECT_EQ(TLngFile::DecodeValue("$41$6a$4A\\T#65"), "AjJ\tA");
    EXPECT_EQ(TLngFile::DecodeValue("\\N\\q\\\\\\'"), "\r\nq\\'");      // any other escaped char as is
    EXPECT_EQ(TLngFile::DecodeValue("#228'rger'"), "\xC3\xA4rger");      // codes are written as UTF-8
    EXPECT_EQ(TLngFile::DecodeValue("'\xE4rger'"), "\xC3\xA4rger");      // Latin-1 text becomes UTF-8
    EXPECT_EQ(TLngFile::DecodeValue("'\xC3\xA4rger'"), "\xC3\xA4rger");  // UTF-8 text stays
    EXPECT_EQ(TLngFile::DecodeValue("'open"), "open");                   // unterminated quote
    EXPECT_EQ(TLngFile::DecodeValue("# $ #0 'x'\\"), "x");               // codes without digits, trailing "\"
    EXPECT_EQ(TLngFile::DecodeValue("#99999999999999999999'x'"), "x");   // absurd code gives nothing
}

TEST(LngFile, SectionsKeysAndFirstMatch)
{
    TTempDir dir;
    std::string path = WriteLng(dir,
                                "MsgHitEsc='outside any section'\n"
                                "[English]\n"
                                "  MsgHitEsc = 'Press <ESC> to abort ...'  \n"
                                "MsgHitEsc='second copy'\n"
                                "=no key\n"
                                "no equals sign\n"
                                "x\n"
                                "[ Deutsch ]\n"
                                "MsgHitEsc='German'\n"
                                "[]\n"
                                "[Other]\r\n"
                                "Key='crlf line'\r\n");
    TLngFile f(path);
    EXPECT_EQ(f.ReadLanguages(), (std::vector<std::string>{"English", "Deutsch", "Other"}));
    std::string v;
    ASSERT_TRUE(f.Lookup("english", "msghitesc", v));
    EXPECT_EQ(v, "'Press <ESC> to abort ...'");
    ASSERT_TRUE(f.Lookup(" English ", " MSGHITESC ", v));
    EXPECT_FALSE(f.Lookup("English", "", v));
    EXPECT_FALSE(f.Lookup("English", "no equals sign", v));
    // Blanks inside the brackets: listed under the trimmed name, but never found.
    EXPECT_FALSE(f.Lookup("Deutsch", "MsgHitEsc", v));
    ASSERT_TRUE(f.Lookup("Other", "key", v));
    EXPECT_EQ(v, "'crlf line'");
    EXPECT_FALSE(f.Lookup("Missing", "Key", v));
    EXPECT_FALSE(TLngFile(dir.File("none.lng")).Lookup("English", "MsgHitEsc", v));
    EXPECT_TRUE(TLngFile(dir.File("none.lng")).ReadLanguages().empty());
}

TEST(LanguageModule, LoadSelectAndTranslate)
{
    TTempDir dir;
    std::string path = WriteLng(dir,
                                "[English]\n"
                                "MsgHitEsc='Press <ESC> to abort ...'\n"
                                "WrdYes='yes'\n"
                                "[Deutsch]\n"
                                "WrdYes='ja'\n"
                                "WrdYes='doppelt'\n"
                                "Empty=\n"
                                "Decodes=plain\n"
                                "Quote='It'#39's'\n");
    TLanguageModule m;
    EXPECT_EQ(m.CurrentLanguage(), "");
    ASSERT_TRUE(m.LoadLanguageFile("  " + path + "  "));
    EXPECT_EQ(m.FileName(), path);
    EXPECT_EQ(m.Languages(), (std::vector<std::string>{"English", "Deutsch"}));
    EXPECT_EQ(m.CurrentLanguage(), "English");   // the first becomes current
    EXPECT_FALSE(m.IsGerman());
    EXPECT_EQ(Tr(m, "msghitesc"), "Press <ESC> to abort ...");
    EXPECT_EQ(Tr(m, "WrdNo"), "<default>");

    EXPECT_TRUE(m.SelectLanguage("&Deutsch"));     // a menu caption with its accelerator mark
    EXPECT_EQ(m.CurrentLanguage(), "Deutsch");
    EXPECT_TRUE(m.IsGerman());
    EXPECT_EQ(Tr(m, "WrdYes"), "ja");                // first line of the section wins
    EXPECT_EQ(Tr(m, "MsgHitEsc"), "<default>");      // the other section's key is never seen
    EXPECT_EQ(Tr(m, "Empty"), "<default>");          // an empty value counts as missing
    std::string text = "unchanged";
    EXPECT_TRUE(m.Translate("Decodes", text));       // found, though it decodes to nothing
    EXPECT_EQ(text, "");
    EXPECT_EQ(Tr(m, "Quote"), "It's");

    EXPECT_FALSE(m.SelectLanguage("Français"));
    EXPECT_EQ(m.CurrentLanguage(), "Deutsch");
    EXPECT_TRUE(m.SelectLanguage("DEUTSCH"));        // names compare without regard to case
    EXPECT_TRUE(m.IsGerman());
}

TEST(LanguageModule, ReloadKeepsTheCurrentNameAndNoFileGivesDefaults)
{
    TTempDir dir;
    std::string first = WriteLng(dir, "[English]\n[Deutsch]\nWrdYes='ja'\n", "a.lng");
    std::string second = WriteLng(dir, "[Italiano]\nWrdYes='si'\n", "b.lng");
    TLanguageModule m;
    ASSERT_TRUE(m.LoadLanguageFile(first));
    ASSERT_TRUE(m.SelectLanguage("Deutsch"));
    ASSERT_TRUE(m.LoadLanguageFile(second));
    EXPECT_EQ(m.CurrentLanguage(), "");              // still "Deutsch" inside, but not listed
    EXPECT_TRUE(m.IsGerman());
    EXPECT_EQ(Tr(m, "WrdYes"), "<default>");         // lookups find nothing
    EXPECT_TRUE(m.SelectLanguage("Italiano"));
    EXPECT_EQ(Tr(m, "WrdYes"), "si");

    EXPECT_FALSE(m.LoadLanguageFile(dir.File("missing.lng")));
    EXPECT_TRUE(m.Languages().empty());
    EXPECT_EQ(m.CurrentLanguage(), "");
    EXPECT_FALSE(m.IsGerman());
    EXPECT_EQ(Tr(m, "WrdYes"), "<default>");
}

TEST(Messages, TableHoldsEveryKeyOnce)
{
    const auto &texts = MessageTexts();
    ASSERT_GE(texts.size(), 61u);
    std::set<std::string> keys;
    for (const auto &t : texts) {
        EXPECT_TRUE(keys.insert(t.key).second) << t.key;
        EXPECT_NE(std::string(t.english), "") << t.key;
        std::string k = t.key;
        // Messages by their prefix; analysis rows; captions and hints of the window's
        // components by their component path ("TMainForm.FileNewItem.Caption").
        const bool component = k.find('.') != std::string::npos &&
                               (k.ends_with(".Title") || k.ends_with(".Caption") || k.ends_with(".Hint"));
        EXPECT_TRUE(k.rfind("Wrd", 0) == 0 || k.rfind("Msg", 0) == 0 || k.rfind("Err", 0) == 0 ||
                    k.rfind("Wrn", 0) == 0 || k.rfind("Cap", 0) == 0 || k.rfind("Ana", 0) == 0 ||
                    k == "ApplicationTitle" || component)
            << k;
    }
    EXPECT_EQ(DefaultText("CapAbort"), "&Abort");
    EXPECT_EQ(DefaultText("MsgHitEsc"), "Press <ESC> to abort ...");
    EXPECT_EQ(DefaultText("ErrOpenVid"), "Error opening video file:\r\n\"%s\"");
    EXPECT_EQ(DefaultText("WrdYes"), "yes");
    EXPECT_EQ(DefaultText("meGraph"), "DirectShow Graph error");
    EXPECT_EQ(DefaultText("meInternal"), "Internal application error");
    EXPECT_EQ(DefaultText("NoSuchKey"), "");
}

TEST(Messages, FormatTextFillsPlaceholdersSafely)
{
    EXPECT_EQ(FormatText(DefaultText("ErrOpenVid"), {"/v/a.avi"}), "Error opening video file:\r\n\"/v/a.avi\"");
    EXPECT_EQ(FormatText(DefaultText("WrnSRCalc"), {"12", "7"}),
              "Warning: The result video will reach a size\r\nof about 12 GB and a data rate of 7 MB/s."
              "\r\n\r\nDo you still want to create the file?");
    EXPECT_EQ(FormatText(DefaultText("CapRange"), {"\xC2\xB1"}), "Range [\xC2\xB1s]");
    EXPECT_EQ(FormatText("100%% %s %x %d %n%", {"a"}), "100% a %x  %n%");   // missing argument, foreign specifiers
    EXPECT_EQ(FormatText("%s", {}), "");
}

TEST(Messages, MediaErrorSentenceAndTheProgramWideModule)
{
    // No language file: the English texts.
    LoadLanguageFile("");
    EXPECT_EQ(Msg("WrdMarkLst"), "Marker list");
    EXPECT_EQ(TranslatedErrorSentence(FormatText(Msg("ErrOpenAud"), {"x.wav"}), meFileNotFound),
              "Error opening audio file:\r\n\"x.wav\"\n\nFile not found.");
    EXPECT_EQ(TranslatedErrorSentence("Error creating phantom clip.", meOk),
              "Error creating phantom clip.\n\nUnknown error.");

    TTempDir dir;
    std::string path = WriteLng(dir, "[Deutsch]\nmeFileNotFound='Datei nicht gefunden'\nWrdMarkLst='Markerliste'\n");
    ASSERT_TRUE(LoadLanguageFile(path));
    ASSERT_TRUE(SelectLanguage("Deutsch"));
    EXPECT_EQ(Msg("WrdMarkLst"), "Markerliste");
    EXPECT_EQ(Msg("WrdChptLst"), "Chapter list");
    EXPECT_EQ(MediaErrorMsg(meFileNotFound), "Datei nicht gefunden");
    EXPECT_EQ(MediaErrorMsg(meFileOpen), "Error opening file");
    EXPECT_EQ(TranslatedErrorSentence("Lead", meFileNotFound), "Lead\n\nDatei nicht gefunden.");
    LoadLanguageFile("");
    SelectLanguage("");
}

TEST(Messages, ShippedGermanFileCoversEveryKey)
{
    const std::string path = std::string(TESSALY_BIN_DIR) + "/lang/tessaly.lng";
    ASSERT_TRUE(FileExists(path)) << "the build copies lang/ to bin/lang/";
    TLanguageModule m;
    ASSERT_TRUE(m.LoadLanguageFile(path));
    EXPECT_EQ(m.CurrentLanguage(), "English");     // English stays the default
    std::string text;
    EXPECT_FALSE(m.Translate("MsgHitEsc", text));   // built-in English texts
    ASSERT_TRUE(m.SelectLanguage("&Deutsch"));
    for (const auto &t : MessageTexts()) {
        ASSERT_TRUE(m.Translate(t.key, text)) << t.key;
        EXPECT_FALSE(text.empty()) << t.key;
        static const std::set<std::string> sameInGerman = {"WrdHertz", "WrdHour", "WrdMin", "WrdMono",
                                                           "WrdSec", "WrdStart", "WrdStereo", "ApplicationTitle", "WrdSrcPlugin",
                                                           "TMainForm.ViewMarkerSize1Item.Caption",
                                                           // the same word in both languages, and the marker kinds' names
                                                           "CapAboutVersion", "TMainForm.AudioBox.Caption",
                                                           "TPropertiesDlg.GrpVideo.Caption", "TPropertiesDlg.GrpAudio.Caption",
                                                           "TPropertiesDlg.CapVidCodec.Caption", "TPropertiesDlg.CapAudFmt.Caption",
                                                           "TPropertiesDlg.CapDblFmt.Caption", "TPhantomDlg.RateLabel.Caption",
                                                           "TMainForm.SplineBtn.Caption", "TMainForm.RelCutBtn.Caption",
                                                           "TMainForm.DShiftBtn.Caption", "TMainForm.OptionBtn.Caption"};
        if (!sameInGerman.count(t.key)) {
            EXPECT_NE(text, t.english) << t.key << " is not translated";
        }
        // Placeholders must match so that filled messages stay complete.
        auto count = [](const std::string &s, const char *p) {
            size_t n = 0;
            for (size_t i = s.find(p); i != std::string::npos; i = s.find(p, i + 2))
                ++n;
            return n;
        };
        EXPECT_EQ(count(text, "%s"), count(t.english, "%s")) << t.key;
        EXPECT_EQ(count(text, "%d"), count(t.english, "%d")) << t.key;
    }
    for (int code = 0; code < MediaErrorCount; ++code) {
        TMediaError e = static_cast<TMediaError>(code);
        ASSERT_TRUE(m.Translate(MediaErrorIdent(e), text)) << MediaErrorIdent(e);
        EXPECT_FALSE(text.empty()) << MediaErrorIdent(e);
        EXPECT_NE(text, MediaErrorMessage(e)) << MediaErrorIdent(e) << " is not translated";
    }
    EXPECT_EQ(m.TranslateOr("ErrOpenVid", ""), "Fehler beim \xC3\x96" "ffnen der Videodatei:\r\n\"%s\"");
}

// A reader's reason for refusing a file follows the code's message, its numbers filled in,
// in the language chosen.
TEST(Messages, AReadersReasonFollowsTheCodesMessage)
{
    EXPECT_EQ(TranslatedErrorSentence("Lead", meFileFormat, {wrBlockAlign, -1, {3, 2, 16, 4}}),
              "Lead\n\nFile format not supported: block align 3 does not match 2 channels of 16 bits (4 bytes).");
    EXPECT_EQ(MediaProblemText({wrSampleBits, 0, {7}}),
              "stream 0: 7-bit samples are not supported (8, 16, 24 or 32 bits)");
    EXPECT_EQ(TranslatedErrorSentence("Lead", meFileFormat, {}), "Lead\n\nFile format not supported.");
    for (int r = wrNone + 1; r <= wrIndexEntries; ++r)
        EXPECT_FALSE(DefaultText(MediaReasonKey(TMediaReason(r))).empty()) << r;
    test::TShippedLanguage german("Deutsch");
    ASSERT_TRUE(german.Ok);
    EXPECT_EQ(MediaProblemText({wrDataChunks, -1, {2}}),
              "die Datei enth\xC3\xA4lt 2 'data'-Bl\xC3\xB6" "cke; welcher der Ton ist, ist unklar");
    EXPECT_EQ(SourceDescriptionText({"WrdSrcVideo", "OpenDML"}), "OpenDML-Video");
    EXPECT_EQ(MediaErrorMsg(meNotRegularFile),
              "Der Pfad nennt keine gew\xC3\xB6hnliche Datei (sondern eine Pipe, ein Ger\xC3\xA4t oder einen Socket)");
}

TEST(LanguageSetup, SettingsChooseTheFileAndTheLanguage)
{
    TTempDir prog, dir;
    SetProgramDirOverride(prog.Path());
    WriteLng(prog, "[English]\n[Deutsch]\nWrdYes='ja'\n", "tessaly.lng");
    std::string other = WriteLng(dir, "[Italiano]\nWrdYes='si'\n[Deutsch]\nWrdYes='ja!'\n", "other.lng");
    TSettings settings(dir.File("tessaly.ini"));

    ASSERT_TRUE(SetUpLanguage(settings));
    EXPECT_EQ(Language().FileName(), prog.File("tessaly.lng"));
    EXPECT_EQ(CurrentLanguage(), "English");
    EXPECT_EQ(Msg("WrdYes"), "yes");

    settings.SetLanguageName("Deutsch");
    settings.SetLanguageFile(dir.File("missing.lng"));   // not there: the default file stays
    ASSERT_TRUE(SetUpLanguage(settings));
    EXPECT_EQ(Language().FileName(), prog.File("tessaly.lng"));
    EXPECT_EQ(Msg("WrdYes"), "ja");

    settings.SetLanguageFile(other);
    ASSERT_TRUE(SetUpLanguage(settings));
    EXPECT_EQ(Language().FileName(), other);
    EXPECT_EQ(Msg("WrdYes"), "ja!");

    ASSERT_TRUE(SelectLanguage("&Italiano"));
    StoreLanguage(settings);
    EXPECT_EQ(settings.LanguageName(), "Italiano");

    SetProgramDirOverride("");
    LoadLanguageFile("");
}
