// The recorder simulation on the platform double: the clock moves only when
// the runner sleeps or a request runs for its scripted time, so every figure
// is exact.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine/plan.h"
#include "session/session_runner.h"
#include "tests/doubles/fake_platform.h"

namespace {

const uint64_t ms = 1000000;
const uint32_t request96k = 98304;  // 32768 frames of 24-bit mono: whole frames

// 48 kHz mono with the given word length; buffer in whole frames.
SessionConfig monoConfig(uint32_t plays, uint32_t records, uint32_t bytesPerSample,
                         double bufferSeconds, double seconds)
{
    SessionConfig config{};
    config.playTracks = plays;
    config.recordTracks = records;
    config.frameRate = 48000;
    config.frameBytes = bytesPerSample;
    config.bufferBytes = static_cast<uint32_t>(bufferSeconds * 48000) * bytesPerSample;
    config.requestSize = request96k;
    config.durationNs = static_cast<uint64_t>(seconds * 1e9);
    return config;
}

std::string track(uint32_t number)
{
    char name[32];
    std::snprintf(name, sizeof name, "D:\\Audio\\take.%03u", number);
    return name;
}

void layPlayFiles()
{
    fakeFiles[track(1)].size = request96k;
    fakeFiles[track(2)].size = request96k;
}

const SessionFiles files = {"D:\\Audio\\take.wav", "D:\\Audio\\take.wav", 1, bypassFileCache};

// The requests as the runner hands them over, each checked to come between
// two requests: the one done, no later one started.
std::vector<RequestRecord> handed;

void collectRequest(void*, const SessionRun& run, const RequestRecord& request)
{
    uint64_t transfers = prerollRequests(run.model.config) * run.model.config.playTracks +
                         run.model.requestCount;
    EXPECT_EQ(fakeLog.transferOrder.size(), transfers);
    EXPECT_EQ(fakeLog.nowNs, run.originNs + request.endNs);
    handed.push_back(request);
}

class SessionTest : public testing::Test {
protected:
    void SetUp() override
    {
        resetFakePlatform();
        fakeLog.nowNs = 5000 * ms;  // any origin
    }
    void TearDown() override { EXPECT_EQ(fakeLog.openHandles, 0u); }

    // Runs a whole session; playback files are the first ones, recording follows.
    SessionRun run(const SessionConfig& config, uint32_t firstRecordNumber = 1)
    {
        SessionFiles names = files;
        names.firstRecordNumber = firstRecordNumber;
        SessionRun session;
        handed.clear();
        SetupResult setup = openSession(session, config, names);
        EXPECT_EQ(setup.status, setupReady) << setup.fileName;
        if (setup.status != setupReady) return session;
        if (prerollAndStart(session))
            while (runSessionUntil(session, UINT64_MAX, RequestSink{nullptr, collectRequest})) {
            }
        closeSession(session);
        return session;
    }
};

// The figures of the buffer arithmetic: a stall longer than what a buffer
// holds loses exactly the difference, a shorter one loses nothing and leaves
// the difference as headroom; the same for playback.
TEST_F(SessionTest, StallAgainstTheBufferLosesExactlyTheExcess)
{
    // Recording: the request starts when the buffer holds exactly one
    // request (at 682,666,667 ns) and takes it all, so the 2.0 s buffer is
    // empty when the stall begins. Playback: two requests are read ahead;
    // the first read starts at 48 ms with 63,232 frames (1.317333 s) left,
    // and the pre-roll's two reads come before it.
    struct Case {
        bool play;
        uint32_t stalledRequest;
        uint64_t stallNs;
        uint64_t lostBytes;
        uint32_t lowestHeadroom;
        uint64_t firstNs;
    };
    const Case cases[] = {
        {false, 1, 2500 * ms, 72000, 0, 2682666667},   // 0.5 s over: 24,000 frames lost
        {false, 1, 1900 * ms, 0, 14400, 0},            // 0.1 s to spare
        {true, 3, 1817333334, 72000, 0, 1365333334},   // 1.317333 s + 0.5 s
        {true, 3, 1217333334, 0, 14400, 0},            // 1.317333 s - 0.1 s
    };
    for (const Case& c : cases) {
        resetFakePlatform();
        if (c.play) fakeFiles[track(1)].size = 100 * request96k;
        fakeScript.requestNsAt[c.stalledRequest] = c.stallNs;
        SessionConfig config = monoConfig(c.play ? 1 : 0, c.play ? 0 : 1, 3, 2.0, 10);
        SessionRun session = run(config);
        const DropoutTally& tally = c.play ? session.model.playback : session.model.recording;
        SCOPED_TRACE(testing::Message() << (c.play ? "playback" : "recording") << " stall " << c.stallNs);
        EXPECT_EQ(tally.frames * 3, c.lostBytes);
        EXPECT_EQ(tally.events, c.lostBytes > 0 ? 1u : 0u);
        EXPECT_EQ(tally.lowestHeadroom, c.lowestHeadroom);
        if (c.lostBytes > 0) {
            EXPECT_EQ(tally.firstNs, c.firstNs);
        }
        EXPECT_FALSE(session.aborted);
    }
}

// The defaults' 256 KByte requests against a 2 s buffer: the tracks that
// wait behind a request stalled for 3 s overflow when their buffer has been
// filling for 2 s; without the stall nothing is lost.
TEST_F(SessionTest, TwelveTracksBehindAThreeSecondStall)
{
    for (uint64_t stallNs : {uint64_t(0), 3000 * ms}) {
        resetFakePlatform();
        fakeScript.requestNs = 1 * ms;
        fakeScript.requestNsAt[1] = stallNs;
        SessionConfig config = monoConfig(0, 12, 3, 2.0, 10);
        config.requestSize = 262144;
        SessionRun session = run(config);
        const DropoutTally& tally = session.model.recording;
        if (stallNs == 0) {
            EXPECT_FALSE(tally.any);
            continue;
        }
        EXPECT_EQ(tally.events, 12u);
        EXPECT_EQ(tally.firstNs, 2000 * ms);
        EXPECT_EQ(tally.firstTrack, 1u);
    }
}

// A disk that needs exactly the audio's time for every request keeps up for
// ever, and the recorder never writes audio before it has arrived.
TEST_F(SessionTest, DiskExactlyAtTheRequiredRateNeverDrops)
{
    // 48 kHz 16-bit mono: 96,000 bytes/s, so a 96 KByte request holds
    // exactly 1.024 s; four tracks need one request each 256 ms.
    fakeScript.requestNs = 256 * ms;
    SessionConfig config = monoConfig(0, 4, 2, 2.5, 60);
    SessionRun session = run(config);
    EXPECT_FALSE(session.model.recording.any);
    // The last track of a round waits 768 ms on top of its full request.
    EXPECT_EQ(session.model.recording.lowestHeadroom, 240000u - 98304u - 73728u);

    uint32_t written[4] = {};
    for (const RequestRecord& request : handed) {
        uint64_t due = frameDueNs(48000, uint64_t(++written[request.track]) * request96k / 2);
        ASSERT_GE(request.startNs, due) << "request " << written[request.track] << " of track "
                                        << request.track << " before its audio";
    }
    // Busy without a break from the first full request (1.024 s) to the end.
    EXPECT_GE(session.model.busyNs, 60000 * ms - 1024 * ms);
    EXPECT_EQ(fakeFiles[track(4)].size, uint64_t(written[3]) * request96k);
}

// Playback files come first, recording files follow; requests go round-robin.
TEST_F(SessionTest, PlaybackFilesFirstThenRecordingRoundRobin)
{
    for (uint32_t n = 1; n <= 2; ++n) fakeFiles[track(n)].size = 3 * request96k;
    SessionConfig config = monoConfig(2, 3, 3, 2.0, 2.5);
    SessionRun session = run(config, 3);
    EXPECT_EQ(fakeLog.opened, (std::vector<std::string>{track(1), track(2)}));
    EXPECT_EQ(fakeLog.created, (std::vector<std::string>{track(3), track(4), track(5)}));
    // Pre-roll: two requests each; then the playback reads at 48 ms, then
    // all three recordings at 682.7 ms, in order.
    std::vector<std::string> expected = {track(1), track(1), track(2), track(2), track(1),
                                         track(2), track(3), track(4), track(5)};
    ASSERT_GE(fakeLog.transferOrder.size(), expected.size());
    fakeLog.transferOrder.resize(expected.size());
    EXPECT_EQ(fakeLog.transferOrder, expected);
    // A file of three requests starts over after its third.
    EXPECT_GE(fakeLog.rewinds, 2u + 2u);
    // Bypassing the cache every read is cold; through it, reads after a
    // file started over are warm.
    EXPECT_TRUE(session.playedCold);
    EXPECT_EQ(session.warmReads, 0u);
    resetFakePlatform();
    for (uint32_t n = 1; n <= 2; ++n) fakeFiles[track(n)].size = 3 * request96k;
    SessionFiles cached = files;
    cached.caching = throughFileCache;
    cached.firstRecordNumber = 3;
    SessionRun warm;
    ASSERT_EQ(openSession(warm, config, cached).status, setupReady);
    ASSERT_TRUE(prerollAndStart(warm));
    while (runSessionUntil(warm, UINT64_MAX)) {
    }
    closeSession(warm);
    EXPECT_FALSE(warm.playedCold);
    EXPECT_GT(warm.warmReads, 0u);
    EXPECT_LT(warm.warmReads, warm.model.readRequests);
}

TEST_F(SessionTest, SetupFailuresCloseEverything)
{
    struct Case {
        const char* what;
        void (*arrange)();
        SessionSetup status;
        const char* fileName;
    };
    const Case cases[] = {
        {"missing playback file", [] { fakeFiles[track(1)].size = request96k; },
         setupPlayFileMissing, "D:\\Audio\\take.002"},
        {"short playback file",
         [] {
             fakeFiles[track(1)].size = request96k;
             fakeFiles[track(2)].size = request96k - 1;
         },
         setupPlayFileTooSmall, "D:\\Audio\\take.002"},
        {"create fails", [] { layPlayFiles(); fakeScript.failCreateAt = 2; }, setupCreateFailed,
         "D:\\Audio\\take.004"},
        {"too few open files", [] { fakeScript.openFileLimit = 36; }, setupOpenFileLimit, ""},
        {"disk full", [] { layPlayFiles(); fakeScript.freeBytes = 3 * 98304 + 512000; },
         setupNotEnoughSpace, ""},
    };
    for (const Case& c : cases) {
        resetFakePlatform();
        c.arrange();
        SessionRun session;
        SessionFiles names = files;
        names.firstRecordNumber = 3;
        SetupResult setup = openSession(session, monoConfig(2, 3, 3, 2.0, 1), names);
        EXPECT_EQ(setup.status, c.status) << c.what;
        EXPECT_EQ(setup.fileName, c.fileName) << c.what;
        EXPECT_EQ(fakeLog.openHandles, 0u) << c.what;
    }
}

TEST_F(SessionTest, ShortRequestAbortsTheSession)
{
    fakeScript.shortTransferAt = 4;
    fakeScript.shortTransferBytes = 4096;
    SessionRun session = run(monoConfig(0, 3, 3, 2.0, 10));
    EXPECT_TRUE(session.aborted);
    EXPECT_EQ(session.failedTrack, 0u);  // the second round's first request
    ASSERT_EQ(handed.size(), 4u);  // the failed one too
    EXPECT_EQ(handed.back().track, 0u);
    EXPECT_LT(sessionElapsedNs(session), 10000 * ms);
}

}  // namespace

namespace {

// A recorder's request at every format: whole 4 KByte blocks holding 65,536
// frames (no more than a block over), and with the default 5 s buffer and
// 50 % headroom every format can pass; the default 30 s trial can fail.
TEST(SessionSizing, RecorderRequestsFitEveryFormat)
{
    for (uint32_t rate : {44100u, 48000u, 88200u, 96000u, 176400u, 192000u})
        for (uint32_t bytes : {2u, 3u, 4u})
            for (uint32_t channels : {1u, 2u}) {
                SessionConfig config{};
                config.frameRate = rate;
                config.frameBytes = bytes * channels;
                config.requestSize = recorderRequestBytes(config.frameBytes);
                config.bufferBytes = 5 * rate * config.frameBytes;
                SCOPED_TRACE(testing::Message() << rate << " Hz, " << config.frameBytes << " bytes");
                EXPECT_EQ(config.requestSize % 4096, 0u);
                EXPECT_GE(config.requestSize, 65536u * config.frameBytes);
                EXPECT_LT(config.requestSize, 65536u * config.frameBytes + 4096);
                EXPECT_GE(2.0 * bestHeadroomBytes(config), config.bufferBytes);
                EXPECT_LE(shortestTellingNs(config), 30000 * ms);
            }
    struct Case {
        uint32_t frameBytes, bufferBytes, requestSize;
        uint64_t shortestNs;
    };
    const Case cases[] = {
        {3, 720000, 196608, 15000 * ms},     // 5 s buffers: three of them
        {3, 96000, 32768, 2275625000u},      // 0.67 s buffers, 0.228 s requests: ten of those
        {2, 882000, 131072, 27562500000u},  // 9.1875 s buffers
    };
    for (const Case& c : cases) {
        SessionConfig config{0, 1, 48000, c.frameBytes, c.bufferBytes, c.requestSize, 0};
        EXPECT_EQ(shortestTellingNs(config), c.shortestNs) << c.bufferBytes;
    }
    EXPECT_EQ(recorderRequestBytes(3), 196608u);  // 192 KByte at 24-bit mono
}

}  // namespace
