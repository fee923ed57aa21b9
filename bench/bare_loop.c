/* The limit of trakmon's access pattern: the same track files, opened with
 * O_DIRECT, written or read round-robin with plain write()/read() of one
 * request per file in turn, from one buffer stamped as trakmon stamps it,
 * timed with the monotonic clock around the loop and nothing else inside.
 *
 *   bare_loop write|read TRACKS REQUEST_KB BASE [--repeat-buffer]
 *
 * BASE names the files as trakmon does (its last dot and what follows become
 * .001, .002, ...); the sizes are trakmon's plan. --repeat-buffer writes the
 * buffer unstamped, the same bytes every request. Prints one JSON line:
 * bytes, elapsedNs and MB/s (1 MB = 1,000,000 bytes). */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

enum { transferBuffer = 524288, maxTracks = 72, blockSize = 4096 };
static const uint32_t testBudget = 100000000;

static uint64_t nowNs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
}

/* As trakmon stamps: 8 bytes in every 4 KB block, in the block's cache line
 * (block number mod 64), holding the block's offset in the pass in the low
 * half and the pass number in the high half (here always 1). */
static void stamp(unsigned char* buffer, uint32_t size, uint32_t passOffset)
{
    uint64_t value = ((uint64_t)1 << 32) | passOffset;
    for (uint32_t at = 0; at < size; at += blockSize, value += blockSize)
        memcpy(buffer + at + at / blockSize % 64 * 64, &value, sizeof value);
}

int main(int argc, char** argv)
{
    if (argc < 5 || (strcmp(argv[1], "write") != 0 && strcmp(argv[1], "read") != 0)) {
        fprintf(stderr, "usage: %s write|read TRACKS REQUEST_KB BASE [--repeat-buffer]\n", argv[0]);
        return 2;
    }
    int writing = strcmp(argv[1], "write") == 0;
    uint32_t tracks = (uint32_t)atoi(argv[2]);
    uint32_t request = (uint32_t)atoi(argv[3]) * 1024u;
    int repeatBuffer = argc > 5 && strcmp(argv[5], "--repeat-buffer") == 0;
    if (tracks < 1 || tracks > maxTracks || request == 0 || request > transferBuffer ||
        transferBuffer % request != 0) {
        fprintf(stderr, "bad track count or request size\n");
        return 2;
    }
    uint32_t granule = tracks * transferBuffer;
    uint32_t total = granule * (testBudget / granule);

    int files[maxTracks];
    char name[4096];
    for (uint32_t n = 1; n <= tracks; ++n) {
        snprintf(name, sizeof name - 8, "%s", argv[4]);
        char* dot = strrchr(name, '.');
        snprintf(dot != NULL ? dot : name + strlen(name), 8, ".%03u", n);
        files[n - 1] = writing ? open(name, O_WRONLY | O_CREAT | O_TRUNC | O_DIRECT, 0644)
                               : open(name, O_RDONLY | O_DIRECT);
        if (files[n - 1] < 0) {
            perror(name);
            return 1;
        }
    }

    unsigned char* buffer;
    if (posix_memalign((void**)&buffer, blockSize, transferBuffer) != 0) return 1;
    uint32_t state;
    if (getrandom(&state, sizeof state, 0) != sizeof state) state = (uint32_t)nowNs();
    state |= 1;
    for (uint32_t i = 0; i < transferBuffer / 4; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        memcpy(buffer + 4 * i, &state, 4);
    }

    uint32_t sum = 0;
    uint64_t start = nowNs();
    do {
        for (uint32_t slot = 0; slot < tracks; ++slot) {
            ssize_t count;
            if (writing) {
                if (!repeatBuffer) stamp(buffer, request, sum);
                count = write(files[slot], buffer, request);
            } else {
                count = read(files[slot], buffer, request);
            }
            if (count != (ssize_t)request) {
                fprintf(stderr, "short %s at byte %u\n", argv[1], sum);
                return 1;
            }
            sum += request;
        }
    } while (sum < total);
    uint64_t elapsed = nowNs() - start;

    for (uint32_t slot = 0; slot < tracks; ++slot) close(files[slot]);
    printf("{\"tool\":\"bare-loop\",\"kind\":\"%s\",\"stamped\":%s,\"bytes\":%u,"
           "\"elapsedNs\":%llu,\"MBps\":%.3f}\n",
           argv[1], writing && !repeatBuffer ? "true" : "false", sum,
           (unsigned long long)elapsed, sum * 1e3 / (double)elapsed);
    free(buffer);
    return 0;
}
