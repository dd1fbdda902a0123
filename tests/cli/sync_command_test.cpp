// Tests of `tessaly-cli suggest` and `verify` on generated truth: each time-map family
// goes through suggest --apply, render and verify, and the applied curve is compared
// with the true time map frame by frame; unrelated tracks give "no match".
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/cli_support.h"
#include "support/sync_truth.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

constexpr double kSeconds = 24;

int RunCli(const std::string &args, std::string *out = nullptr)
{
    return test::RunCommand(test::CliProgram() + " " + args + " 2>&1 </dev/null", out);
}

std::vector<test::TTruthSpec> Families()
{
    return test::TruthFamilies(kSeconds);
}

const test::TTruthSpec &Family(const std::string &name)
{
    static const std::vector<test::TTruthSpec> all = Families();
    for (const test::TTruthSpec &s : all)
        if (s.Name == name)
            return s;
    return all.front();
}

class SyncCommands : public ::testing::Test {
protected:
    // Generates the case, writes the project and runs suggest --apply; false when a step
    // failed (with the program's output in `Output`).
    // Suggest, and the tracks matched (suggest ended with status 0).
    bool Matched(const std::string &family) { return Suggest(family) && Status == 0; }
    bool Suggest(const std::string &family) { return Suggest(Family(family)); }
    bool Suggest(const test::TTruthSpec &spec)
    {
        if (!test::MakeTruthCase(spec, Dir.Path(), Truth))
            return false;
        Project = Dir.File("film.tsp");
        if (RunCli("project create " + ShellQuote(Project) + " --video " + ShellQuote(Truth.Video) + " --audio " +
                    ShellQuote(Truth.Primary) + " --double " + ShellQuote(Truth.Reference),
                &Output) != 0)
            return false;
        Status = RunCli("suggest " + ShellQuote(Project) + " --apply --plot " + ShellQuote(Dir.File("plot.svg")) +
                         " --json " + ShellQuote(Dir.File("map.json")),
                     &Output);
        return true;
    }
    // Renders the project as WAV and verifies it against the reference.
    int RenderAndVerify(double toleranceMs, std::string *text)
    {
        std::string out = Dir.File("out.wav");
        if (RunCli("render " + ShellQuote(Project) + " " + ShellQuote(out) + " --yes --no-progress", text) != 0)
            return -1;
        return RunCli("verify " + ShellQuote(out) + " --against " + ShellQuote(Truth.Reference) + " --tolerance-ms " +
                       std::to_string(toleranceMs),
                   text);
    }
    void ExpectCurve(double medianMs, double maxMs, int cutFrames)
    {
        test::TTruthScore s = test::ScoreProject(Truth, Project);
        ASSERT_TRUE(s.Loaded);
        EXPECT_GT(s.Frames, static_cast<size_t>(kSeconds * 25 * 0.8)) << Output;
        EXPECT_LE(s.MedianMs, medianMs) << Output;
        EXPECT_LE(s.MaxMs, maxMs) << Output;
        EXPECT_EQ(s.MissedCuts, 0) << Output;
        EXPECT_EQ(s.FalseCuts, 0) << Output;
        for (int off : s.CutFramesOff)
            EXPECT_LE(off, cutFrames) << Output;
    }
    // Speech alone (the same sentences in turn, pauses between them), the dub 300 ms late,
    // 1000 ppm slow with the pitch kept (WSOLA), lacking 2 s at 20 s, encoded as AC-3.
    static test::TTruthSpec SpeechTempoCut(const std::string &name)
    {
        test::TTruthSpec spec;
        spec.Name = name;
        spec.Seconds = 60;
        spec.Seed = 5;
        spec.SpeechOnly = true;
        spec.Codec = "ac3";
        spec.Bitrate = 192;
        spec.Pieces = {{0, 0.3, 1, true}, {0, 20, 1.001, false, true}, {22, 38, 1.001, false, true}};
        return spec;
    }
    // The film (the picture with the reference as its own sound) and the primary through
    // `sync`; its exit status.
    int SyncFilm()
    {
        const std::string film = Dir.File("film.mkv"), out = Dir.File("film.synced.mkv");
        if (!test::Ffmpeg("-i " + ShellQuote(Truth.Video) + " -i " + ShellQuote(Truth.Reference) +
                          " -map 0:v -map 1:a -c:v copy -c:a flac " + ShellQuote(film)))
            return -1;
        Project = out + ".tsp";
        return Status = RunCli("sync " + ShellQuote(film) + " " + ShellQuote(Truth.Primary) + " -o " + ShellQuote(out) +
                                   " --yes --no-progress",
                               &Output);
    }
    // Spline points in the marker list `suggest` printed.
    int SplinePoints() const
    {
        int count = 0;
        for (size_t at = Output.find("\n  Spl "); at != std::string::npos; at = Output.find("\n  Spl ", at + 1))
            ++count;
        return count;
    }
    test::TTempDir Dir;
    test::TTruthCase Truth;
    std::string Project, Output;
    int Status = -1;
};

TEST_F(SyncCommands, ConstantOffsetIsFoundToTheSample)
{
    ASSERT_TRUE(Matched("offset")) << Output;
    ExpectCurve(0.03, 0.05, 0);
    // A constant shift is one point: the natural spline through it is flat.
    EXPECT_EQ(SplinePoints(), 1) << Output;
    EXPECT_TRUE(test::RunCommand("test -s " + ShellQuote(Project + ".bak")) == 0);
    std::string text;
    EXPECT_EQ(RenderAndVerify(1.0, &text), 0) << text;
}

TEST_F(SyncCommands, FilmSpeedDriftIsFollowedToTheSample)
{
    ASSERT_TRUE(Matched("drift 25/23.976")) << Output;
    ExpectCurve(0.02, 0.05, 0);
    // A steady drift is a straight line: two points, however the search placed them.
    EXPECT_GE(SplinePoints(), 1) << Output;
    EXPECT_LE(SplinePoints(), 2) << Output;
    std::string text;
    EXPECT_EQ(RenderAndVerify(1.0, &text), 0) << text;
}

TEST_F(SyncCommands, ChangingDriftGetsMorePointsWhereItBends)
{
    ASSERT_TRUE(Matched("drift changes")) << Output;
    ExpectCurve(0.25, 0.6, 0);
}

TEST_F(SyncCommands, CutsBecomeRelativeCutsOnTheirFrames)
{
    ASSERT_TRUE(Matched("cuts")) << Output;
    ExpectCurve(0.01, 0.05, 2);
    // No drift anywhere: one point per stretch between cuts at most.
    EXPECT_LE(SplinePoints(), 5) << Output;
    EXPECT_NE(Output.find("backward cut -5 "), std::string::npos) << Output;   // 0.2 s the primary lacks
    EXPECT_NE(Output.find("forward cut +37.5 "), std::string::npos) << Output;  // 1.5 s it has extra
    std::string text;
    EXPECT_EQ(RenderAndVerify(1.0, &text), 0) << text;
}

TEST_F(SyncCommands, ReEncodedCopyIsScoredWithWhatTheDecodedFileHolds)
{
    // AC-3 keeps no record of its encoder delay: the decoded primary starts 256 samples
    // late, and the curve must follow that file, not the material before encoding.
    ASSERT_TRUE(Matched("ac3 192k")) << Output;
    EXPECT_NEAR(Truth.CodecDelay, 256.0 / test::kTruthRate, 1e-9);
    ExpectCurve(0.25, 1.0, 1);
}

TEST_F(SyncCommands, TempoChangeWithThePitchKeptIsFollowedWithoutAZigzag)
{
    // A PAL speed-up corrected with WSOLA (sox tempo): no sample agrees with the original,
    // the onsets and the phase of the spectrum still do.
    ASSERT_TRUE(Matched("wsola pal")) << Output;
    ExpectCurve(3.0, 10.0, 0);
    EXPECT_LE(SplinePoints(), 6) << Output;
    // The speed over the whole programme, not from local lags: within 600 ppm of 24/25
    // over these 24 s.
    const size_t at = Output.find("speed ");
    ASSERT_NE(at, std::string::npos) << Output;
    EXPECT_NEAR(std::stod(Output.substr(at + 6, 8)), 0.96, 6e-4) << Output;
}

TEST_F(SyncCommands, ARoomRecordingOfInvertedPolarityIsFollowedAtItsDirectSound)
{
    // Re-recorded through a room's reflections, band-limited and noisy; the recording
    // chain flips the waveform's sign, which the waveform measures must undo or they lock
    // onto a reflection milliseconds away.
    ASSERT_TRUE(Matched("room 120 ppm")) << Output;
    EXPECT_NE(Output.find("polarity inverted"), std::string::npos) << Output;
    ExpectCurve(0.1, 0.5, 0);
    std::string text;
    EXPECT_EQ(RenderAndVerify(1.0, &text), 0) << text;
}

TEST_F(SyncCommands, DubWithOtherSpeechFollowsTheSharedMusic)
{
    ASSERT_TRUE(Matched("dub")) << Output;
    ExpectCurve(0.1, 1.0, 2);
}

TEST_F(SyncCommands, UnrelatedTracksGiveNoMatchAndLeaveTheProject)
{
    ASSERT_TRUE(Suggest("unrelated")) << Output;
    EXPECT_EQ(Status, 1) << Output;
    EXPECT_NE(Output.find("no match"), std::string::npos) << Output;
    EXPECT_NE(test::RunCommand("test -e " + ShellQuote(Project + ".bak")), 0);
    std::string list;
    ASSERT_EQ(RunCli("project list " + ShellQuote(Project), &list), 0);
    EXPECT_NE(list.find("Markers (0)"), std::string::npos) << list;
    // The result is the unrelated primary: verify finds no match or windows far off.
    std::string text;
    EXPECT_EQ(RenderAndVerify(22, &text), 1) << text;
}

TEST_F(SyncCommands, VerifyCountsAStretchOfWrongContentAgainstTheResult)
{
    ASSERT_TRUE(Matched("offset")) << Output;
    std::string text;
    ASSERT_EQ(RenderAndVerify(1.0, &text), 0) << text;
    // Seconds 8-16 of the result replaced by its seconds 16-24: in sync everywhere else,
    // eight seconds of the wrong material in the middle.
    const std::string damaged = Dir.File("damaged.wav");
    ASSERT_TRUE(test::Ffmpeg("-i " + ShellQuote(Dir.File("out.wav")) +
                             " -filter_complex \"[0:a]atrim=0:8[a];[0:a]atrim=16:24,asetpts=PTS-STARTPTS,asplit[b][c];"
                             "[a][b][c]concat=n=3:v=0:a=1\" -c:a pcm_s16le " +
                             ShellQuote(damaged)));
    EXPECT_EQ(RunCli("verify " + ShellQuote(damaged) + " --against " + ShellQuote(Truth.Reference) + " --plot " +
                         ShellQuote(Dir.File("check.svg")),
                     &text),
              1)
        << text;
    EXPECT_NE(text.find("matches nothing"), std::string::npos) << text;
    EXPECT_NE(text.find("less than the required 90.0 %"), std::string::npos) << text;
    EXPECT_NE(text.find("(wrong content)"), std::string::npos) << text;
    const std::vector<uint8_t> bytes = test::ReadFileBytes(Dir.File("check.svg"));
    const std::string svg(bytes.begin(), bytes.end());
    EXPECT_NE(svg.find("matches nothing"), std::string::npos);
}

TEST_F(SyncCommands, VerifyWithTheProjectKnowsWhereTheDoubleTrackStandsIn)
{
    ASSERT_TRUE(Matched("offset")) << Output;
    // The primary switched off from 6 to 18 s: the double track (the recording itself)
    // fills in half of the result.
    ASSERT_EQ(RunCli("project add-marker " + ShellQuote(Project) + " 150 option --audio-off --replace", &Output), 0)
        << Output;
    ASSERT_EQ(RunCli("project add-marker " + ShellQuote(Project) + " 450 option --replace", &Output), 0) << Output;
    const std::string out = Dir.File("out.wav");
    std::string text;
    ASSERT_EQ(RunCli("render " + ShellQuote(Project) + " " + ShellQuote(out) + " --yes --no-progress", &text), 0) << text;
    EXPECT_EQ(RunCli("verify " + ShellQuote(out) + " --project " + ShellQuote(Project), &text), 1) << text;
    EXPECT_NE(text.find("filled in by the double track"), std::string::npos) << text;
    EXPECT_NE(text.find("6.0-18.0 s: filled in by the double track"), std::string::npos) << text;
    EXPECT_NE(text.find("less than the required 90.0 %"), std::string::npos) << text;
    // Asked for less coverage, the same result passes: what the primary gives is in sync.
    EXPECT_EQ(RunCli("verify " + ShellQuote(out) + " --project " + ShellQuote(Project) + " --min-coverage 40", &text),
              0)
        << text;
    // In the working folder of the project, without --against, the same verdict.
    EXPECT_EQ(test::RunCommand("cd " + ShellQuote(Dir.Path()) + " && " + test::CliProgram() + " verify out.wav 2>&1",
                               &text),
              1)
        << text;
}

TEST_F(SyncCommands, RepeatedMusicKeepsItsOrderAcrossACut)
{
    // Pads repeated every 16 s, the melody played twice before it changes; the primary
    // lacks 8 s in the middle and runs 300 ppm fast. A jump to a round that sounds the
    // same would play the wrong part (and drop in three cuts where there is one).
    test::TTruthSpec spec;
    for (const test::TTruthSpec &s : test::TruthFamilies(96))
        if (s.Name == "repeated music")
            spec = s;
    ASSERT_TRUE(spec.Pads);
    ASSERT_TRUE(Suggest(spec)) << Output;
    ASSERT_EQ(Status, 0) << Output;
    test::TTruthScore score = test::ScoreProject(Truth, Project);
    ASSERT_TRUE(score.Loaded);
    EXPECT_LE(score.MaxMs, 0.5) << Output;
    EXPECT_EQ(score.FalseCuts, 0) << Output;
    EXPECT_EQ(score.MissedCuts, 0) << Output;
    for (int off : score.CutFramesOff)
        EXPECT_LE(off, 1) << Output;
    std::string text;
    EXPECT_EQ(RenderAndVerify(1.0, &text), 0) << text;
}

TEST_F(SyncCommands, TempoCorrectedRecordedMusicIsFollowedInsteadOfNoMatch)
{
    // Game loops (long pads, few onsets) sped up from film to PAL with the pitch kept: the
    // waveforms hardly agree and the onset peaks stand lower than speech's, yet over
    // minutes their lags lie on one smooth line.
    const std::string folder = "/usr/share/hyperrogue/music/";
    test::TTruthSpec spec;
    spec.Name = "recorded loops tempo";
    spec.Seconds = 90;
    spec.MusicFiles = {folder + "hr3-graveyard.ogg", folder + "hr3-laboratory.ogg"};
    for (const std::string &f : spec.MusicFiles)
        if (test::RunCommand("test -s " + ShellQuote(f)) != 0)
            GTEST_SKIP() << "needs the hyperrogue-music package";
    spec.Pieces = {{0, 90, 24.0 / 25, false, true}};
    ASSERT_TRUE(Suggest(spec)) << Output;
    ASSERT_EQ(Status, 0) << Output;
    const test::TTruthScore s = test::ScoreProject(Truth, Project);
    ASSERT_TRUE(s.Loaded);
    EXPECT_EQ(s.WrongSeconds, 0) << Output;
    EXPECT_LE(s.MedianMs, 8) << Output;
    EXPECT_EQ(s.FalseCuts, 0) << Output;
    const size_t at = Output.find("speed ");
    ASSERT_NE(at, std::string::npos) << Output;
    EXPECT_NEAR(std::stod(Output.substr(at + 6, 8)), 0.96, 2e-4) << Output;
}

TEST_F(SyncCommands, SyncPutsATempoCorrectedDubWithACutInSync)
{
    // The speech with its tempo change and cut: no sample agrees with the original, the
    // cut's edges must come from the onsets, and the two parts share one speed.
    ASSERT_TRUE(test::MakeTruthCase(SpeechTempoCut("speech tempo cut"), Dir.Path(), Truth));
    ASSERT_EQ(SyncFilm(), 0) << Output;
    test::TTruthScore s = test::ScoreProject(Truth, Project);
    ASSERT_TRUE(s.Loaded);
    // Voiced speech stretched by WSOLA may be matched a pitch period (some 8 ms) off.
    EXPECT_EQ(s.WrongSeconds, 0) << Output;
    EXPECT_LE(s.MedianMs, 10) << Output;
    EXPECT_EQ(s.MissedCuts, 0) << Output;
    EXPECT_EQ(s.FalseCuts, 0) << Output;
    // Where it ends (the primary lacks 2 s: the double track fills in from there).
    for (int off : s.CutFramesOff)
        EXPECT_LE(off, 5) << Output;
    // A straight drift with a cut: a point at each end and the cut (a point on either
    // side of it at most), not a crowd bending the curve at the cut.
    EXPECT_LE(SplinePoints(), 4) << Output;
    EXPECT_NE(Output.find("every matched window lies within +-22.000 ms"), std::string::npos) << Output;
}

TEST_F(SyncCommands, OneSentenceSaidOverAndOverWithACutPlaysNoSpeechIntoAPause)
{
    // The speech with its tempo change and cut, but one sentence said six times in turn
    // with pauses of different lengths. Carried on past the cut, the earlier curve would
    // play the next sentence into a pause of the reference: a match may not run through
    // stretches where only one side sounds.
    const std::string sentence = Dir.File("speech_en_0.wav");
    ASSERT_EQ(test::RunCommand("espeak-ng -v en -s 165 -w " + ShellQuote(sentence) +
                               " 'The harbour was quiet when the boat came in.'"),
              0);
    for (int k = 1; k < 6; ++k)
        ASSERT_EQ(test::RunCommand("cp " + ShellQuote(sentence) + " " +
                                   ShellQuote(Dir.File("speech_en_" + std::to_string(k) + ".wav"))),
                  0);
    ASSERT_TRUE(test::MakeTruthCase(SpeechTempoCut("repeated sentence tempo cut"), Dir.Path(), Truth));
    SyncFilm();
    const test::TTruthScore s = test::ScoreProject(Truth, Project);
    ASSERT_TRUE(s.Loaded) << Output;
    EXPECT_EQ(Status, 0) << Output;
    EXPECT_LT(s.WrongSeconds, 0.5) << Output;
    EXPECT_EQ(s.MissedCuts, 0) << Output;
    EXPECT_EQ(s.FalseCuts, 0) << Output;
}

TEST(SyncCommandLine, RefusesBadArguments)
{
    std::string out;
    EXPECT_EQ(RunCli("suggest", &out), 2) << out;
    EXPECT_EQ(RunCli("suggest /nonexistent/film.tsp", &out), 1) << out;
    EXPECT_EQ(RunCli("verify", &out), 2) << out;
    EXPECT_EQ(RunCli("verify x.wav --tolerance-ms abc", &out), 2) << out;
    EXPECT_EQ(RunCli("verify x.wav --min-coverage 120", &out), 2) << out;
    EXPECT_EQ(RunCli("suggest x.tsp --tolerance-ms -1", &out), 2) << out;
    EXPECT_EQ(RunCli("verify /nonexistent.wav --against /nonexistent2.wav", &out), 1) << out;
}

} // namespace
} // namespace tessaly
