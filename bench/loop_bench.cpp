// The cost of trakmon's timed loop itself: the engine's timed pass run with
// transfers that move nothing, through the command line's own front end (the
// count check, the sum, the microsecond reading and the progress step) and,
// for writes, the stamp. Divided by the requests of a pass it is what each
// request pays beyond the transfer, to be set beside the request latency of
// a disk (bench/README.md).
//
// The Syscall pair puts one real, cheap system call in the place of the
// transfer, in trakmon's pass and in a bare loop: each call switches page
// tables, so what runs after it finds cold translations, as after a real
// write or read. Their difference is the loop's cost in those conditions.
#include <benchmark/benchmark.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "cli/cli_front_end.h"
#include "engine/plan.h"
#include "engine/settings.h"
#include "engine/timed_pass.h"
#include "engine/write_stamp.h"

namespace {

uint32_t discardWrite(TrackHandle, const void*, uint32_t size, IoStatus*)
{
    benchmark::ClobberMemory();  // the stamp's stores must happen
    return size;
}

uint32_t discardRead(TrackHandle, void*, uint32_t size, uint32_t, IoStatus*)
{
    benchmark::ClobberMemory();
    return size;
}

uint32_t syscallWrite(TrackHandle, const void*, uint32_t size, IoStatus*)
{
    syscall(SYS_getppid);
    return size;
}

uint32_t syscallRead(TrackHandle file, void* buffer, uint32_t size, uint32_t, IoStatus* why)
{
    return syscallWrite(file, buffer, size, why);
}

TrackFileSet files;

template <TrackTransfer transfer>
void timedPass(benchmark::State& state)
{
    const uint32_t tracks = 12;
    TestPlan plan = planTest(tracks, static_cast<uint32_t>(state.range(0)) << 10,
                             fixedTransferBufferSize, fixedTestDataBudget);
    void* buffer = platformAllocTransferBuffer(fixedTransferBufferSize);
    for (uint32_t slot = 0; slot < tracks; ++slot)
        files.slots[slot] = static_cast<TrackHandle>(slot + 1);
    CliTest test;
    beginCliTest(test, "bench", false);
    FrontEnd frontEnd = cliFrontEnd(test);
    static PassReadings readings;
    writePassNumber = 1;
    for (auto _ : state) {
        frontEnd.openProgress(frontEnd.context, plan.stepCount);
        PassResult pass =
            runTimedPass<transfer>(files, plan, buffer, frontEnd, "never shown", readings);
        benchmark::DoNotOptimize(pass);
    }
    platformFreeTransferBuffer(buffer);
    state.counters["request"] = benchmark::Counter(
        static_cast<double>(plan.stepCount),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The same requests with nothing between them but what the bare loop of
// compare-fio does: the stamp (writes) and the sum.
template <PlatformWrite call, bool stamped>
void bareLoop(benchmark::State& state)
{
    const uint32_t tracks = 12;
    TestPlan plan = planTest(tracks, static_cast<uint32_t>(state.range(0)) << 10,
                             fixedTransferBufferSize, fixedTestDataBudget);
    void* buffer = platformAllocTransferBuffer(fixedTransferBufferSize);
    for (auto _ : state) {
        uint32_t sum = 0;
        do {
            for (uint32_t slot = 0; slot < tracks; ++slot) {
                if (stamped) stampWriteRequest(buffer, plan.requestSize, sum, 1);
                sum += call(static_cast<TrackHandle>(slot + 1), buffer, plan.requestSize, nullptr);
            }
        } while (sum < plan.totalTestBytes);
        benchmark::DoNotOptimize(sum);
    }
    platformFreeTransferBuffer(buffer);
    state.counters["request"] = benchmark::Counter(
        static_cast<double>(plan.stepCount),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void stampOnly(benchmark::State& state)
{
    const uint32_t size = static_cast<uint32_t>(state.range(0)) << 10;
    void* buffer = platformAllocTransferBuffer(fixedTransferBufferSize);
    uint32_t offset = 0;
    for (auto _ : state) {
        stampWriteRequest(buffer, size, offset, 1);
        offset += size;
        benchmark::ClobberMemory();
    }
    platformFreeTransferBuffer(buffer);
}

}  // namespace

// Request sizes of 32, 128 and 512 KB, 12 tracks.
#define SIZES ->Arg(32)->Arg(128)->Arg(512)
BENCHMARK(timedPass<stampedWrite<discardWrite>>)->Name("WritePass/nothing") SIZES;
BENCHMARK(timedPass<discardRead>)->Name("ReadPass/nothing") SIZES;
BENCHMARK(stampOnly)->Name("Stamp") SIZES;
BENCHMARK(timedPass<stampedWrite<syscallWrite>>)->Name("WritePass/syscall") SIZES;
BENCHMARK((bareLoop<syscallWrite, true>))->Name("BareWrite/syscall") SIZES;
BENCHMARK(timedPass<syscallRead>)->Name("ReadPass/syscall") SIZES;
BENCHMARK((bareLoop<syscallWrite, false>))->Name("BareRead/syscall") SIZES;

BENCHMARK_MAIN();
