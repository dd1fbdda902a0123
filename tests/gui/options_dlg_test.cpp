// The "Settings" window over a real settings file: defaults of a missing file, the
// negated preview offset, the close-button rule of the size list, reading afresh on
// each showing, writing only on close, and the temporary folder stored at once.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "gui/options_dlg.h"
#include "gui_fixture.h"
#include "shell/settings.h"

namespace tessaly::test {
namespace {

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }

    template <class T> T *Child(gui::TOptionsDlg &dlg, const char *name)
    {
        T *w = dlg.findChild<T *>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string Contents(const std::string &file)
    {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TTempDir Dir;
    TScriptedDialogs Ui;
};

TEST_F(OptionsDialog, MissingFileShowsDefaultsAndTheCloseButtonCreatesIt)
{
    const std::string file = Dir.File("config/tessaly.ini");
    TSettings settings(file);
    gui::TOptionsDlg dlg(settings, Ui);
    dlg.show();
    EXPECT_FALSE(Child<QCheckBox>(dlg, "ChkPreviewOffset")->isChecked());
    EXPECT_FALSE(Child<QSpinBox>(dlg, "EdtPreviewOffset")->isEnabled());
    EXPECT_EQ(Child<QSpinBox>(dlg, "EdtPreviewOffset")->value(), 0);
    EXPECT_TRUE(Child<QCheckBox>(dlg, "ChkSegments")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dlg, "ChkSRWarnLoad")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(dlg, "ChkSRWarnCalc")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(dlg, "ChkSRLimit")->isChecked());
    EXPECT_EQ(Child<QComboBox>(dlg, "CmbSRSize")->currentText(), QStringLiteral("384"));
    EXPECT_EQ(Child<QComboBox>(dlg, "CmbSRSize")->count(), 6);
    EXPECT_TRUE(dlg.CloseButton()->isEnabled());
    EXPECT_FALSE(std::filesystem::exists(file));   // showing writes nothing

    Child<QCheckBox>(dlg, "ChkSegments")->setChecked(false);
    dlg.CloseButton()->click();
    EXPECT_FALSE(dlg.isVisible());
    ASSERT_TRUE(std::filesystem::exists(file));
    const std::string text = Contents(file);
    for (const char *line : {"DefGlobShift=0", "UseDefGlobShift=0", "DisableSegments=1", "SRWarnOnLoad=0",
                             "SRWarnOnCalc=1", "SRLimitSize=1", "SRSizeLimit=384"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    EXPECT_EQ(text.find("TempDir"), std::string::npos);   // only the folder button writes it
    EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(OptionsDialog, PreviewOffsetIsTheNegatedDefaultShiftAndOnlyCloseWrites)
{
    TSettings settings(Dir.File("tessaly.ini"));
    settings.SetDefGlobShift(-40);
    settings.SetUseDefGlobShift(true);
    gui::TOptionsDlg dlg(settings, Ui);
    dlg.show();
    auto *field = Child<QSpinBox>(dlg, "EdtPreviewOffset");
    EXPECT_EQ(field->value(), 40);
    EXPECT_TRUE(field->isEnabled());

    // Closed otherwise: nothing is written, the next showing reads the stored value.
    field->setValue(99);
    dlg.reject();
    EXPECT_EQ(settings.DefGlobShift(), -40);
    settings.SetDefGlobShift(-7);   // changed behind the window's back
    dlg.show();
    EXPECT_EQ(field->value(), 7);

    field->setValue(25);
    Child<QCheckBox>(dlg, "ChkPreviewOffset")->setChecked(false);
    dlg.CloseButton()->click();
    EXPECT_EQ(settings.DefGlobShift(), -25);
    EXPECT_FALSE(settings.UseDefGlobShift());
}

TEST_F(OptionsDialog, SizeListTextDecidesTheCloseButtonWhileTheLimitIsOn)
{
    TSettings settings(Dir.File("tessaly.ini"));
    gui::TOptionsDlg dlg(settings, Ui);
    dlg.show();
    auto *list = Child<QComboBox>(dlg, "CmbSRSize");
    auto *limit = Child<QCheckBox>(dlg, "ChkSRLimit");
    const std::pair<const char *, bool> cases[] = {{"abc", false}, {"7", false},          {"8", true},
                                                   {"", false},    {"2147483647", true}, {"2147483648", false},
                                                   {"-8", false},  {"12x", false},       {"512", true}};
    for (const auto &[text, enabled] : cases) {
        list->setEditText(QLatin1String(text));
        EXPECT_EQ(dlg.CloseButton()->isEnabled(), enabled) << text;
    }
    // With the limit off any text will do, and is stored as typed.
    list->setEditText(QStringLiteral("abc"));
    EXPECT_FALSE(dlg.CloseButton()->isEnabled());
    limit->setChecked(false);
    EXPECT_TRUE(dlg.CloseButton()->isEnabled());
    EXPECT_FALSE(list->isEnabled());
    dlg.CloseButton()->click();
    EXPECT_FALSE(settings.SRLimitSize());
    EXPECT_EQ(settings.SRSizeLimit(), "abc");
    EXPECT_EQ(settings.PreviewSizeLimit(), 0);

    // A stored text that is not a number shows as it is and keeps the close button off.
    settings.SetSRLimitSize(true);
    dlg.show();
    EXPECT_EQ(list->currentText(), QStringLiteral("abc"));
    EXPECT_FALSE(dlg.CloseButton()->isEnabled());
}

TEST_F(OptionsDialog, NewTemporaryFolderIsStoredAtOnceAndLeavesFilesThereAlone)
{
    const std::string oldDir = Dir.File("old"), newDir = Dir.File("new");
    std::filesystem::create_directories(oldDir);
    std::filesystem::create_directories(newDir);
    const std::string oldTemp = oldDir + "/" + kTempFileName;
    std::ofstream(oldTemp) << "preview";
    TSettings settings(Dir.File("tessaly.ini"));
    settings.WriteString("Options", "TempDir", oldDir + "/");

    gui::TOptionsDlg dlg(settings, Ui);
    std::vector<std::string> starts;
    std::vector<std::string> answers = {"", newDir};   // first cancelled, then chosen
    dlg.SetFolderChooser([&](std::string &folder) {
        starts.push_back(folder);
        folder = answers.front();
        answers.erase(answers.begin());
        return !folder.empty();
    });
    dlg.show();
    auto *button = Child<QToolButton>(dlg, "BtnTempDir");
    button->click();   // cancelled: nothing changes
    EXPECT_TRUE(std::filesystem::exists(oldTemp));
    EXPECT_EQ(settings.TempDir(), oldDir + "/");
    button->click();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0], oldDir + "/");
    // A file at the old fixed name may be anybody's: the preview's own file lives in a
    // private folder, so nothing in the old folder is deleted.
    EXPECT_TRUE(std::filesystem::exists(oldTemp));
    EXPECT_EQ(settings.TempDir(), newDir + "/");
    EXPECT_NE(Child<QLabel>(dlg, "PnlTempDir")->toolTip().indexOf(QLatin1String("/new/")), -1);
    dlg.reject();   // not the close button: the folder stays stored
    EXPECT_EQ(TSettings(Dir.File("tessaly.ini")).TempDir(), newDir + "/");
}

} // namespace
} // namespace tessaly::test
