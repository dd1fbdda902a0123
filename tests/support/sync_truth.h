// The synchronisation truth generator: a deterministic film sound (synthetic music and
// effects in stereo, espeak-ng speech in the centre), and a primary track made from it
// by a known time map (offsets, drift, cuts, inserts), optionally re-encoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

// One piece of the primary track, in order.
struct TTruthPiece {
    double SourceStart = 0;   // master seconds; ignored for an unrelated insert
    double SourceLength = 0;  // master seconds (for an insert: its own length)
    double Stretch = 1;       // primary seconds per master second
    bool Unrelated = false;   // material found nowhere in the master
    bool Tempo = false;       // stretched keeping the pitch (sox tempo, WSOLA), not resampled
};

struct TTruthSpec {
    std::string Name;
    double Seconds = 30;              // master (video) length
    uint32_t Seed = 1;
    bool Dub = false;                 // the primary carries other speech (second voice)
    bool Pads = false;                // music alone: a chord sequence of slow pads repeated
                                      // every 16 s, a quiet melody played twice, then changed
    bool Rhythm = false;              // music alone: one drum pattern repeated sample for sample
                                      // every 4 s under chords and a melody that change each round
    bool SpeechOnly = false;          // espeak-ng speech alone (no music or effects): pauses
                                      // between sentences, the same six sentences in turn
    double RoomSnrDb = 0;             // > 0: the primary re-recorded in a room (a synthetic
                                      // impulse response, 150-6000 Hz, noise at this SNR)
    std::vector<std::string> MusicFiles;   // recorded music, played one after the other (and
                                           // again) as the whole sound, no speech
    std::string Codec;                // "", "mp3", "aac" or "ac3": the primary is re-encoded
    int Bitrate = 128;                // kbit/s for the codec
    std::vector<TTruthPiece> Pieces;  // the primary's time map
};

constexpr uint32_t kTruthRate = 48000;

// The files of one generated case and its time map.
struct TTruthCase {
    TTruthSpec Spec;
    std::string Reference;   // WAV in sync with the video (what the double track holds)
    std::string Primary;     // WAV or the encoded file
    std::string Video;       // AVI of Seconds at 25 fps
    // How much later the primary, as the program's readers decode it, sounds than what
    // went into the encoder (seconds): priming the file carries no record of, or that
    // the decoder does not take off.
    double CodecDelay = 0;
    // Per piece: how much later a piece stretched keeping the pitch (WSOLA) sounds than
    // its plain line, as measured on its grains (0 for the others).
    std::vector<double> TempoDelays;
    // Primary seconds where master second t sounds; false when the primary lacks it.
    bool PrimaryTimeAt(double t, double &p) const;
    // Master seconds where the primary jumps (its cuts), ascending.
    std::vector<double> CutTimes() const;
};

// Writes reference.wav, primary.(wav|mp3|m4a|ac3) and video.avi into `dir`. False when
// espeak-ng, ffmpeg, tessaly-cli or writing fails.
bool MakeTruthCase(const TTruthSpec &spec, const std::string &dir, TTruthCase &out);

// The cases of the time-map families: the length of their material scales with
// `seconds` (the master length).
std::vector<TTruthSpec> TruthFamilies(double seconds);

// How far a project's shift curve lies from the truth, frame by frame.
struct TTruthScore {
    bool Loaded = false;
    size_t Frames = 0;                     // frames compared
    double MedianMs = 0, P95Ms = 0, P99Ms = 0, MaxMs = 0;   // |primary time read - true time|
    std::vector<int> CutFramesOff;         // per true cut found: frames between it and the marker
    int MissedCuts = 0, FalseCuts = 0;
    int Markers = 0;
    double WrongSeconds = 0;               // frames more than 22 ms off, in seconds
};

// Loads `projectFile` and compares, at every frame whose sound the primary gives, the
// primary position the curve reads with the true one; frames next to a true cut and
// frames the options switch to the double track are left out.
TTruthScore ScoreProject(const TTruthCase &truth, const std::string &projectFile);

// Interleaved stereo music and effects of `seconds` at kTruthRate (no speech).
std::vector<float> TruthMusic(double seconds, uint32_t seed);

// Interleaved stereo pads: four chords of 4 s repeated every 16 s (the same in every
// round), with a quiet plucked melody that is played twice, then changes.
std::vector<float> RepeatedPads(double seconds, uint32_t seed);

// Interleaved stereo drums, chords and a melody in rounds of kRhythmRound s: the drum
// samples, the onset times of every voice and the pans are the same in every round, the
// chords and the melody's notes are drawn anew for each round (from `seed`).
constexpr double kRhythmRound = 4.0;
std::vector<float> RepeatedRhythm(double seconds, uint32_t seed);

// A 16-bit PCM WAV of interleaved samples.
bool WriteWav16(const std::string &path, const std::vector<float> &samples, int channels, uint32_t rate);

} // namespace tessaly::test
