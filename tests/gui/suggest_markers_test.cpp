// Suggest markers from the window: the Project menu entry runs the alignment under the
// progress window, shows the picture and the decisions, and applies exactly the markers
// `tessaly-cli suggest` finds as one undoable step; without a double track it asks for
// the recording, and unrelated tracks leave the project as it was.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTest>
#include <QTimer>
#include <QUndoStack>
#include <sstream>

#include "gui_fixture.h"

#include "gui/gauge_form.h"
#include "gui/qt_text.h"
#include "gui/suggest_dialog.h"
#include "support/cli_support.h"
#include "support/make_marker.h"
#include "support/sync_truth.h"

namespace tessaly::test {
namespace {

constexpr double kSeconds = 24;

class SuggestMarkersWindow : public TWindowTest {
protected:
    // Generates a truth case of the family and opens video, primary and (optionally) the
    // recording in sync with the video as the double track.
    void Open(const std::string &family, bool withDouble)
    {
        for (const TTruthSpec &spec : TruthFamilies(kSeconds)) {
            if (spec.Name == family) {
                ASSERT_TRUE(MakeTruthCase(spec, Dir.Path(), Truth));
            }
        }
        ASSERT_TRUE(Session->OpenSource(srVideo, Truth.Video));
        ASSERT_TRUE(Session->OpenSource(srAudio, Truth.Primary));
        if (withDouble) {
            ASSERT_TRUE(Session->OpenSource(srDouble, Truth.Reference));
        }
        Window->RefreshAll();
    }
    // The marker lines `tessaly-cli suggest` prints for the project saved as `file`.
    std::vector<std::string> CliMarkers(const std::string &file)
    {
        std::string out;
        EXPECT_EQ(RunCommand(CliProgram() + " suggest " + ShellQuote(file) + " 2>&1", &out), 0) << out;
        std::vector<std::string> lines;
        const size_t start = out.find("Markers (");
        if (start == std::string::npos)
            return lines;
        std::istringstream in(out.substr(out.find('\n', start) + 1));
        for (std::string line; std::getline(in, line);)
            if (line.size() > 2)
                lines.push_back(line.substr(2));
        return lines;
    }
    std::vector<std::string> ProjectMarkers() const
    {
        std::vector<std::string> lines;
        for (int32_t i = 0; i < Session->Project().MarkerCount(); ++i)
            lines.push_back(Session->Project().MarkerLine(i));
        return lines;
    }

    TTruthCase Truth;
};

TEST_F(SuggestMarkersWindow, AppliesWhatTheCommandLineFindsAsOneUndoStep)
{
    Open("cuts", true);
    // A double shift the user placed stays; a hand-placed spline point gives way.
    ASSERT_TRUE(Session->Editor().PlaceMarker(Make(3, 2, mkDShift)));
    ASSERT_TRUE(Session->Editor().PlaceMarker(Make(100, 7, mkSpline)));
    Window->RefreshAll();
    ASSERT_TRUE(Session->SaveProject(Dir.File("film.tsp")));
    const std::vector<std::string> expected = CliMarkers(Dir.File("film.tsp"));
    ASSERT_FALSE(expected.empty());
    const std::vector<std::string> before = ProjectMarkers();
    const int steps = Window->UndoStack().count();

    bool plotShown = false;
    QString details, summary;
    AnswerModal<gui::TSuggestDialog>([&](gui::TSuggestDialog &d) {
        plotShown = d.Plot().renderer()->isValid() && d.Plot().renderer()->defaultSize().width() > 0;
        details = d.Details().toPlainText();
        summary = d.Summary().text();
        d.ApplyButton().click();
    });
    Trigger("ProjectSuggestItem");
    EXPECT_TRUE(plotShown);
    EXPECT_TRUE(summary.startsWith("Primary against the double track")) << gui::S(summary);
    EXPECT_TRUE(details.contains("backward cut")) << gui::S(details);
    EXPECT_TRUE(details.contains(gui::Q(expected.front())));
    EXPECT_EQ(ProjectMarkers(), expected);
    EXPECT_EQ(Session->Project().GetMarker(0), Make(3, 2, mkDShift));
    EXPECT_TRUE(Session->Project().Changed());

    EXPECT_EQ(Window->UndoStack().count(), steps + 1);
    EXPECT_EQ(gui::S(Window->UndoStack().undoText()), "Suggest markers");
    Trigger("EditUndoItem");
    EXPECT_EQ(ProjectMarkers(), before);
    Trigger("EditRedoItem");
    EXPECT_EQ(ProjectMarkers(), expected);
}

TEST_F(SuggestMarkersWindow, CancelledDialogLeavesTheProject)
{
    Open("offset", true);
    const std::vector<std::string> before = ProjectMarkers();
    AnswerModal<gui::TSuggestDialog>([](gui::TSuggestDialog &d) { d.reject(); });
    Trigger("ProjectSuggestItem");
    EXPECT_EQ(ProjectMarkers(), before);
    EXPECT_FALSE(Window->UndoStack().canUndo() && Window->UndoStack().undoText() == "Suggest markers");
}

TEST_F(SuggestMarkersWindow, EscapeInTheProgressWindowStopsWithoutAQuestion)
{
    Open("offset", true);
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [] {
        if (gui::TGaugeForm *form = gui::CurrentProgress())
            QTest::keyClick(form, Qt::Key_Escape);
    });
    presser.start(0);
    bool shown = false;   // a dialog after an abort would be a fault; it is closed again
    AnswerModal<gui::TSuggestDialog>([&shown](gui::TSuggestDialog &d) {
        shown = true;
        d.reject();
    });
    Trigger("ProjectSuggestItem");
    presser.stop();
    EXPECT_FALSE(shown);
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_EQ(gui::CurrentProgress(), nullptr);
    EXPECT_EQ(Session->Project().MarkerCount(), 0);
}

TEST_F(SuggestMarkersWindow, WithoutADoubleTrackItAsksForTheRecordingAndUnrelatedOnesDoNotMatch)
{
    Open("unrelated", false);
    ASSERT_TRUE(Enabled("ProjectSuggestItem"));
    Dialogs.Files.push_back("");   // cancelled: nothing runs
    Trigger("ProjectSuggestItem");
    ASSERT_EQ(Dialogs.FileRequests.size(), 1u);
    EXPECT_EQ(Dialogs.FileRequests.back().Title, "Recording in sync with the video");
    EXPECT_TRUE(Dialogs.Messages.empty());

    Dialogs.Files.push_back(Truth.Reference);
    Trigger("ProjectSuggestItem");
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_NE(Dialogs.Messages.back().find("No match"), std::string::npos) << Dialogs.Messages.back();
    EXPECT_EQ(Session->Project().MarkerCount(), 0);
    EXPECT_FALSE(Session->Project().Changed());

    // A file that is no audio at all is reported, not taken for a mismatch.
    ASSERT_TRUE(WriteFileBytes(Dir.File("film-notes.txt"), {'n', 'o', 't', 'e', 's'}));
    Dialogs.Files.push_back(Dir.File("film-notes.txt"));
    Trigger("ProjectSuggestItem");
    ASSERT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_NE(Dialogs.Messages.back().find("No markers could be suggested"), std::string::npos)
        << Dialogs.Messages.back();
}

TEST(SuggestDialog, AStoredCurveFarFromTheMeasurementIsShownButNotApplied)
{
    EnsureApplication();
    autosync::TSuggestRun run;
    run.What = "double track";
    run.Map.Matched = true;
    run.Fit = {0.4, 10, 500};
    gui::TSuggestDialog usable(run);
    EXPECT_TRUE(usable.ApplyButton().isEnabled());
    EXPECT_TRUE(usable.Summary().text().contains("curve within 0.400 ms")) << gui::S(usable.Summary().text());

    run.Fit = {90005.0, 250, 499};   // a cut the line could not hold
    gui::TSuggestDialog far(run);
    EXPECT_FALSE(far.ApplyButton().isEnabled());
    EXPECT_TRUE(far.Summary().text().contains("not usable")) << gui::S(far.Summary().text());
    EXPECT_FALSE(far.Summary().text().contains("curve within"));
}

} // namespace
} // namespace tessaly::test
