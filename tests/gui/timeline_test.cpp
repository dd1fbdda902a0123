// The timeline under the window, driven by the mouse: a marker dragged to another frame
// is one undo step and leaves the same project file as the command line's move-marker;
// Ctrl+wheel zooms around the mouse, the wheel scrolls; the command rows make the menus.
// Its waveforms: the first paint over a two-hour film does not wait for them and closing
// the window stops their worker at once; once computed they have the columns and pixels of
// the synchronous computation, and an edit of the markers computes them again.
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>
#include <QUndoStack>
#include <QPainter>
#include <QWheelEvent>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "gui/action_registry.h"
#include "gui/curve_strip.h"
#include "gui/main_window.h"
#include "gui/timeline.h"
#include "gui_fixture.h"
#include "platform/file_system.h"
#include "project/audio_peaks_draw.h"
#include "project/timeline_peaks.h"
#include "support/cli_support.h"
#include "support/sparse_wav.h"

namespace tessaly::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The project text without its [Arrange] section.
std::string WithoutArrange(const std::string &text)
{
    const size_t start = text.find("[Arrange]");
    if (start == std::string::npos)
        return text;
    const size_t end = text.find("\n[", start + 1);
    return text.substr(0, start) + (end == std::string::npos ? std::string() : text.substr(end + 1));
}

class Timeline : public TWindowTest {
protected:
    gui::TTimelineStrip &Strip() { return Window->Timeline().Strip(); }
    // Shows the window with the timeline wide enough for one frame per 4 pixels.
    void Show()
    {
        Window->resize(900, 640);
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        Window->RefreshAll();
    }
    void Wheel(int steps, Qt::KeyboardModifiers modifiers, QPoint at)
    {
        QWheelEvent wheel(at, Strip().mapToGlobal(at), QPoint(), QPoint(0, 120 * steps), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&Strip(), &wheel);
    }
};

// The columns the synchronous computation gives for the strip's view.
TTimelineWaves Synchronous(TProjectSession &session, gui::TTimelineStrip &strip)
{
    const TPeakJob job = PeakJobOf(session);
    std::shared_ptr<TFilmPeaks> peaks = NewFilmPeaks(job);
    EXPECT_TRUE(peaks && ComputeFilmPeaks(job, *peaks));
    const TTimelineView &view = strip.View();
    return peaks ? peaks->Waves(view.FirstFrame(), view.FramesPerPixel(), strip.width()) : TTimelineWaves{};
}

void ExpectSameColumns(const TTimelineWaves &shown, const TTimelineWaves &want)
{
    ASSERT_EQ(shown.Width, want.Width);
    ASSERT_EQ(shown.HasPrimary, want.HasPrimary);
    ASSERT_EQ(shown.Primary.size(), want.Primary.size());
    EXPECT_TRUE(shown.AllReady());
    for (size_t x = 0; x < want.Primary.size(); ++x) {
        const TPeakColumn &a = shown.Primary[x], &b = want.Primary[x];
        ASSERT_TRUE(a.Min == b.Min && a.Max == b.Max && a.Sounding == b.Sounding) << "column " << x;
    }
}

TEST_F(Timeline, ADraggedMarkerIsOneUndoStepAndTheSameFileAsMoveMarker)
{
    MakeCurveProject();
    const std::string saved = Dir.File("drag.tsp");
    ASSERT_TRUE(Session->SaveProject(saved));
    ASSERT_TRUE(Window->LoadProjectFile(saved));
    Show();
    // The command line moves a copy of the same file, as the window saves it (with the
    // window's layout in its [Arrange] section).
    Trigger("FileSaveItem");
    const std::string copy = Dir.File("cli.tsp");
    std::ofstream(copy, std::ios::binary) << ReadFile(saved);
    ASSERT_EQ(std::system((CliProgram() + " project move-marker '" + copy + "' 20 15 > /dev/null").c_str()), 0);

    const int undoBefore = Window->UndoStack().count();
    const QPoint from(Strip().XOfFrame(20), Strip().height() / 2);
    const QPoint to(Strip().XOfFrame(35), Strip().height() / 2);
    ASSERT_GT(to.x() - from.x(), 30);   // a real drag across the strip
    QTest::mousePress(&Strip(), Qt::LeftButton, Qt::NoModifier, from);
    EXPECT_EQ(Strip().DragFrom(), 20);
    for (int x = from.x(); x <= to.x(); x += 5)
        QTest::mouseMove(&Strip(), QPoint(x, from.y()));
    QTest::mouseMove(&Strip(), to);
    EXPECT_EQ(Strip().DragTo(), 35);
    QTest::mouseRelease(&Strip(), Qt::LeftButton, Qt::NoModifier, to);

    EXPECT_EQ(Session->Project().FindMarker(20), -1);
    ASSERT_GE(Session->Project().FindMarker(35), 0);
    EXPECT_EQ(Window->UndoStack().count(), undoBefore + 1);
    Trigger("FileSaveItem");
    // The same file but for the window's own layout: the window records its place in
    // [Arrange], the command line writes that section empty.
    EXPECT_EQ(WithoutArrange(ReadFile(saved)), WithoutArrange(ReadFile(copy)));
    // One Ctrl+Z takes the whole drag back.
    QTest::keyClick(Window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_GE(Session->Project().FindMarker(20), 0);
    EXPECT_EQ(Session->Project().FindMarker(35), -1);
}

TEST_F(Timeline, AMarkerCannotBeDraggedPastAnotherAndAClickGoesToTheFrame)
{
    MakeCurveProject();
    Show();
    const int undoBefore = Window->UndoStack().count();
    const int y = Strip().height() / 2;
    // Past the cut at 60: refused with the core's reason, nothing changes.
    QTest::mousePress(&Strip(), Qt::LeftButton, Qt::NoModifier, QPoint(Strip().XOfFrame(20), y));
    QTest::mouseMove(&Strip(), QPoint(Strip().XOfFrame(70), y));
    QTest::mouseRelease(&Strip(), Qt::LeftButton, Qt::NoModifier, QPoint(Strip().XOfFrame(70), y));
    EXPECT_GE(Session->Project().FindMarker(20), 0);
    EXPECT_EQ(Window->UndoStack().count(), undoBefore);
    ASSERT_FALSE(Dialogs.Messages.empty());
    // A click away from the markers moves the position there.
    QTest::mouseClick(&Strip(), Qt::LeftButton, Qt::NoModifier, QPoint(Strip().XOfFrame(45), y));
    EXPECT_EQ(Session->Project().Position(), 45);
}

TEST_F(Timeline, CtrlWheelZoomsAroundTheMouseAndTheWheelScrolls)
{
    MakeCurveProject();
    Show();
    const TTimelineView &view = Strip().View();
    ASSERT_TRUE(view.WholeFilm());
    EXPECT_FALSE(Window->Timeline().ScrollBar().isEnabled());
    const QPoint at(Strip().XOfFrame(60), 10);
    Wheel(3, Qt::ControlModifier, at);
    EXPECT_FALSE(view.WholeFilm());
    EXPECT_LT(view.VisibleFrames(), 60);
    EXPECT_EQ(view.FrameAt(at.x()), 60);   // the frame under the mouse stays there
    EXPECT_TRUE(Window->Timeline().ScrollBar().isEnabled());
    const double first = view.FirstFrame();
    Wheel(-1, Qt::NoModifier, at);
    EXPECT_GT(view.FirstFrame(), first);
    Window->Timeline().ScrollBar().setValue(0);
    EXPECT_EQ(view.FirstFrame(), 0);
    // View > Timeline hides and shows the dock.
    auto *dock = Window->findChild<QDockWidget *>(QStringLiteral("TimelineDock"));
    ASSERT_NE(dock, nullptr);
    Trigger("ViewTimelineItem");
    EXPECT_FALSE(dock->isVisible());
    Trigger("ViewTimelineItem");
    EXPECT_TRUE(dock->isVisible());
}

// Every menu entry of the window, with the menu it stands in.
void CollectEntries(QMenu &menu, std::vector<std::pair<QString, QAction *>> &entries)
{
    for (QAction *a : menu.actions()) {
        if (a->isSeparator())
            continue;
        if (a->menu()) {
            entries.emplace_back(menu.objectName(), a->menu()->menuAction());
            CollectEntries(*a->menu(), entries);
        } else {
            entries.emplace_back(menu.objectName(), a);
        }
    }
}

TEST_F(Timeline, EveryMenuEntryComesFromARowAndEveryRowHasAHandler)
{
    std::vector<std::pair<QString, QAction *>> entries;
    for (QMenu *menu : Window->menuBar()->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly))
        CollectEntries(*menu, entries);
    CollectEntries(*Window->Actions().MarkerListMenu(), entries);
    std::map<QString, const TCommandRow *> rows;
    for (const TCommandRow &row : CommandRows())
        rows[QLatin1String(row.Name)] = &row;
    size_t fromRows = 0;
    for (const auto &[menu, action] : entries) {
        const QString name = action->menu() ? action->menu()->objectName() : action->objectName();
        // Filled while the program runs: the languages and the recent projects.
        if (menu == QLatin1String("MenuOptionsLanguage") || menu == QLatin1String("MenuFileRecent"))
            continue;
        ASSERT_TRUE(rows.count(name)) << name.toStdString() << " in " << menu.toStdString() << " has no row";
        EXPECT_EQ(menu.toStdString(), rows[name]->Menu) << name.toStdString();
        ++fromRows;
    }
    EXPECT_GT(fromRows, 50u);
    EXPECT_TRUE(Window->Actions().Unhandled().empty());
    // No key of the window does two things.
    std::set<QString> keys;
    for (QAction *a : Window->actions())
        for (const QKeySequence &key : a->shortcuts())
            EXPECT_TRUE(keys.insert(key.toString()).second) << key.toString().toStdString();
}

TEST_F(Timeline, TheFirstPaintOfATwoHourFilmReturnsAtOnceAndClosingStopsTheWork)
{
    // Two hours at 25 fps: a phantom clip and a 48 kHz stereo track of the same length.
    TPhantomClip clip;
    clip.Frames = 180000;
    ASSERT_TRUE(Session->OpenPhantomClip(clip));
    const std::string wav = Dir.File("long.wav");
    ASSERT_TRUE(WriteSparseWav(wav, 48000, 2, int64_t{180000} * 1920, {48000, int64_t{3600} * 48000}));
    ASSERT_TRUE(Session->OpenSource(srAudio, wav));
    Show();
    const auto start = Clock::now();
    Strip().repaint();
    EXPECT_LT(Clock::now() - start, 250ms);
    // What it drew: the primary lane, with the computing band where nothing is ready.
    EXPECT_TRUE(Strip().Waves().HasPrimary);
    EXPECT_EQ(Strip().Waves().Width, Strip().width());
    EXPECT_FALSE(Strip().Waves().AllReady());
    EXPECT_LT(Strip().Peaks().FramesDone(), 180000);
    const QImage shown = Strip().grab().toImage();
    EXPECT_EQ(shown.pixelColor(Strip().width() - 2, gui::TTimelineStrip::kHeadHeight + 2),
              QColor(strip_colours::kComputing.R, strip_colours::kComputing.G, strip_colours::kComputing.B));
    // Closing while the worker mixes: it stops within a frame's work.
    const auto close = Clock::now();
    Window.reset();
    EXPECT_LT(Clock::now() - close, 3s);
}

TEST_F(Timeline, TheWaveformsArriveWithThePixelsOfTheSynchronousComputation)
{
    MakeCurveProject();
    Show();
    ASSERT_TRUE(Strip().Peaks().WaitIdle(60s));
    ASSERT_TRUE(Strip().Peaks().Finished());
    // The worker's repaint arrives through the event loop.
    QTRY_VERIFY_WITH_TIMEOUT(Strip().Waves().AllReady(), 5000);
    const TTimelineWaves want = Synchronous(*Session, Strip());
    ExpectSameColumns(Strip().Waves(), want);

    // The pixels below the marker heads equal the synchronous columns drawn, apart from
    // the columns of the markers and of the current frame drawn over them.
    const int head = gui::TTimelineStrip::kHeadHeight;
    const QImage shown = Strip().grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage drawn(Strip().width(), Strip().height() - head, QImage::Format_RGB32);
    {
        QPainter p(&drawn);
        gui::TPainterCanvas canvas(p);
        TTimelineWaves waves = want;
        waves.FrameStarts = Strip().Waves().FrameStarts;
        DrawTimelineWaves(waves, canvas, drawn.width(), drawn.height());
    }
    std::vector<bool> skip(size_t(drawn.width()), false);
    const int frameWidth = int(std::ceil(1 / Strip().View().FramesPerPixel()));
    for (int32_t f : {20, 60, Session->Project().Position()})
        for (int x = Strip().XOfFrame(f) - 6; x <= Strip().XOfFrame(f) + frameWidth + 6; ++x)
            if (x >= 0 && x < drawn.width())
                skip[size_t(x)] = true;
    int compared = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            if (skip[size_t(x)])
                continue;
            ASSERT_EQ(shown.pixel(x, y + head), drawn.pixel(x, y)) << x << "," << y;
            ++compared;
        }
    EXPECT_GT(compared, drawn.width() * drawn.height() / 2);

    // A new spline point: the waveforms are computed again for the new placement.
    TProjectEditor &ed = Session->Editor();
    ASSERT_TRUE(ed.MoveTo(40).Applied);
    ASSERT_TRUE(ed.NewMarker(mkSpline).Applied);
    ASSERT_TRUE(ed.SetShiftValue(Session->Project().FindMarker(40), "-6").Applied);
    ASSERT_TRUE(Strip().Peaks().WaitIdle(60s));
    Strip().repaint();
    const TTimelineWaves again = Synchronous(*Session, Strip());
    ExpectSameColumns(Strip().Waves(), again);
    bool moved = false;
    for (size_t x = 0; x < want.Primary.size(); ++x)
        moved = moved || want.Primary[x].Max != again.Primary[x].Max;
    EXPECT_TRUE(moved);
}

} // namespace
} // namespace tessaly::test
