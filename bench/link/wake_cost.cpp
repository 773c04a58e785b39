// wake_cost: what one wake-up of a sleeping thread costs on this machine, in CPU time of the woken
// thread. The serial worker and the GUI thread sleep in poll between frames; every telemetry
// frame wakes each of them a few times (a timer that ends the 50 ms quiet time, the bytes, a
// write request, the command cycle's tick), so on a machine where a wake-up is dear these wakes
// set a floor under the console's running cost whatever it paints. Prints figures; it never
// passes or fails on time.
//
//   timer    a thread sleeping in ppoll with a 10 ms timeout, doing nothing when it wakes
//   eventfd  a thread sleeping in ppoll on an eventfd that another thread raises every 10 ms
//   pty      a thread sleeping in ppoll on a pty's slave while the master writes 16 bytes every
//            10 ms (the worker's wake for telemetry bytes)
//
// Usage: wake_cost [--wakes N] [--rounds R]   (N wake-ups per round, default 300; R rounds, 5)

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

double thread_cpu_us() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

void sleep_ms(int ms) {
    timespec ts{0, long(ms) * 1000000};
    nanosleep(&ts, nullptr);
}

double timer_round(int wakes) {
    const double start = thread_cpu_us();
    for (int i = 0; i < wakes; ++i) {
        timespec ts{0, 10000000};
        ppoll(nullptr, 0, &ts, nullptr);
    }
    return (thread_cpu_us() - start) / wakes;
}

// A thread sleeping on fd, woken wakes times by raise() from this thread every 10 ms; drain()
// runs in the woken thread after each wake. The CPU time per wake of the woken thread.
template <typename Raise, typename Drain>
double woken_round(int fd, int wakes, Raise raise, Drain drain) {
    std::atomic<int> seen{0};
    double used = 0;
    std::thread sleeper([&] {
        const double start = thread_cpu_us();
        pollfd p{fd, POLLIN, 0};
        while (seen.load() < wakes) {
            if (ppoll(&p, 1, nullptr, nullptr) > 0 && (p.revents & POLLIN)) {
                drain();
                seen.fetch_add(1);
            }
        }
        used = thread_cpu_us() - start;
    });
    for (int i = 0; i < wakes; ++i) {
        sleep_ms(10);
        raise();
    }
    sleeper.join();
    return used / wakes;
}

double eventfd_round(int wakes) {
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        return -1;
    const double cost = woken_round(
        fd, wakes, [fd] { eventfd_write(fd, 1); },
        [fd] {
            eventfd_t v;
            eventfd_read(fd, &v);
        });
    close(fd);
    return cost;
}

double pty_round(int wakes) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        close(master);
        return -1;
    }
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    const unsigned char frame[16] = {0xFC, 0xFD};
    const double cost = woken_round(
        slave, wakes, [master, &frame] { (void)!write(master, frame, sizeof frame); },
        [slave] {
            unsigned char buffer[64];
            while (read(slave, buffer, sizeof buffer) > 0) {
            }
        });
    close(slave);
    close(master);
    return cost;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    int wakes = 300;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--wakes" && i + 1 < argc)
            wakes = std::atoi(argv[++i]);
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--wakes N (300)] [--rounds R (5)]\n", argv[0]);
            return 2;
        }
    }
    if (wakes < 1 || rounds < 1) {
        std::fprintf(stderr, "--wakes and --rounds must be at least 1\n");
        return 2;
    }
    struct Row {
        const char* name;
        double (*round)(int);
    };
    const Row rows[] = {{"timer", timer_round}, {"eventfd", eventfd_round}, {"pty", pty_round}};
    std::printf("CPU time of the woken thread per wake-up, %d wake-ups 10 ms apart per round, "
                "median (min..max) of %d rounds\n",
                wakes, rounds);
    for (const Row& row : rows) {
        std::vector<double> costs;
        for (int r = 0; r < rounds; ++r)
            costs.push_back(row.round(wakes));
        if (*std::min_element(costs.begin(), costs.end()) < 0) {
            std::printf("%-8s could not be set up\n", row.name);
            continue;
        }
        std::printf("%-8s %7.1f us (%.1f..%.1f)\n", row.name, median(costs),
                    *std::min_element(costs.begin(), costs.end()),
                    *std::max_element(costs.begin(), costs.end()));
    }
    return 0;
}
