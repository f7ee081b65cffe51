/* Preloaded into the wineserver of the whole-cycle test's second start: its monotonic clocks
 * read VLMR_CLOCK_SHIFT seconds later. Every program's tick count comes from that server, so
 * "now less the tick count", the boot time, moves back by as much, for 32-bit and 64-bit
 * programs alike, while their wall clock and file times stay real.
 * Built for the host by run-cycle.sh: cc -shared -fPIC -o clockshift.so clockshift.c -ldl */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

static long long Shift(void) {
    static long long shift = -1;
    if (shift < 0) {
        const char* text = getenv("VLMR_CLOCK_SHIFT");
        shift = text ? atoll(text) : 0;
        if (shift < 0) shift = 0;
    }
    return shift;
}

int clock_gettime(clockid_t clock, struct timespec* ts) {
    static int (*real)(clockid_t, struct timespec*);
    if (!real) real = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
    const int result = real(clock, ts);
    if (result == 0 && (clock == CLOCK_MONOTONIC_RAW || clock == CLOCK_MONOTONIC || clock == CLOCK_MONOTONIC_COARSE ||
                        clock == CLOCK_BOOTTIME))
        ts->tv_sec += Shift();
    return result;
}
