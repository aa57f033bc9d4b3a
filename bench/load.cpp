// Load generator for the receiving end: one connection per message, as the program sends them.
//   pv_load PORT latency N [HELD]        N messages one after another: connect, write, shut down the
//                                        write side, wait for the receiver's close (µs p50/p99)
//   pv_load PORT accept N [HELD]         the same without data: accept and close only
//   pv_load PORT burst TOTAL SENDERS     TOTAL messages from SENDERS threads at once
//   pv_load PORT hold N SECONDS [SOURCES] keep N idle connections open, then let go
//   pv_load PORT keep N SECONDS [SOURCES] the same, opened one at a time (see keep())
//   pv_load PORT tags N                  N connections at once, each from its own loopback address,
//                                        each sending its tag ("tag 17") and closing once it is open
//   pv_load PORT drip N SECONDS SOURCES  N connections from SOURCES addresses, each sending a byte
//                                        every 20 s; one the receiver closes is opened again
// HELD idle connections are opened first, one at a time, and kept during the measurement. Held
// connections come from several loopback addresses (127.0.0.2...), 30 from each, as from several
// computers; `hold` and `keep` spread them over SOURCES addresses (1: one computer holds them
// all). Loopback only.
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int g_port = 0;
constexpr int TimeoutMs = 20000;

void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// A connection from source (null: any loopback address). Unless wait, the connect is only
// started: the descriptor is returned while the handshake may still be under way.
int connectFrom(const char* source, bool wait = true)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0)
        return -1;
    if (source) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, source, &local.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            close(fd);
            return -1;
        }
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(g_port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && (wait || errno != EINPROGRESS)) {
        close(fd);
        return -1;
    }
    return fd;
}

// One message; returns its time in µs, or -1 when it failed.
long oneMessage(const std::string& text)
{
    const auto start = Clock::now();
    const int fd = connectFrom(nullptr);
    if (fd < 0)
        return -1;
    if (!text.empty() && send(fd, text.data(), text.size(), MSG_NOSIGNAL) != ssize_t(text.size())) {
        close(fd);
        return -1;
    }
    shutdown(fd, SHUT_WR);
    pollfd p{fd, POLLIN, 0};
    char buffer[64];
    long result = -1;
    while (poll(&p, 1, TimeoutMs) > 0) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n == 0) {
            result = long(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
            break;
        }
        if (n < 0)
            break;
    }
    close(fd);
    return result;
}

void sourceOf(int connection, int perSource, char (&source)[32])
{
    const int computer = connection / perSource;
    std::snprintf(source, sizeof source, "127.0.%d.%d", computer / 250, 2 + computer % 250);
}

// All connects at once, as a peer flooding the listener would. Returns the connections, complete
// or not. Complete means complete here only: while the receiver's queue of 5 is full, the kernel
// finishes handshakes by SYN cookie and drops them, so the receiver never sees many of them.
std::vector<int> hold(int count, int perSource = 30, int waitSeconds = 60)
{
    std::vector<int> held;
    char source[32];
    for (int i = 0; i < count; ++i) {
        sourceOf(i, perSource, source);
        const int fd = connectFrom(source, false);
        if (fd < 0) {
            std::fprintf(stderr, "pv_load: held %d of %d: %s\n", i, count, std::strerror(errno));
            break;
        }
        held.push_back(fd);
    }
    std::vector<pollfd> waiting;
    for (int fd : held)
        waiting.push_back(pollfd{fd, POLLOUT, 0});
    const auto until = Clock::now() + std::chrono::seconds(waitSeconds);
    size_t done = 0;
    // poll() passes over negative descriptors: a connection that is done is set to -1.
    while (done < waiting.size() && Clock::now() < until) {
        if (poll(waiting.data(), waiting.size(), 200) <= 0)
            continue;
        for (pollfd& p : waiting) {
            if (p.fd >= 0 && p.revents) {
                p.fd = -1;
                ++done;
            }
        }
    }
    if (done < waiting.size())
        std::fprintf(stderr, "pv_load: %zu of %zu connections complete after %d s\n", done, waiting.size(), waitSeconds);
    return held;
}

// One connect at a time, each given time to be taken before the next, so that every one is open at
// the receiver too.
std::vector<int> keep(int count, int perSource = 30)
{
    std::vector<int> held;
    char source[32];
    for (int i = 0; i < count; ++i) {
        sourceOf(i, perSource, source);
        const int fd = connectFrom(source);
        if (fd < 0) {
            std::fprintf(stderr, "pv_load: kept %d of %d: %s\n", i, count, std::strerror(errno));
            break;
        }
        held.push_back(fd);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return held;
}

// Every connect started at once; each connection sends its tag as soon as it is open and closes.
void tags(int count)
{
    std::vector<pollfd> waiting;
    char source[32];
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        sourceOf(i, 1, source);
        const int fd = connectFrom(source, false);
        if (fd < 0)
            ++failed;
        waiting.push_back(pollfd{fd, POLLOUT, 0});
    }
    const auto until = Clock::now() + std::chrono::seconds(30);
    int open = count - failed;
    while (open > 0 && Clock::now() < until) {
        if (poll(waiting.data(), waiting.size(), 200) <= 0)
            continue;
        for (size_t i = 0; i < waiting.size(); ++i) {
            pollfd& p = waiting[i];
            if (p.fd < 0 || !p.revents)
                continue;
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            const std::string tag = "tag " + std::to_string(i);
            if (error != 0 || send(p.fd, tag.data(), tag.size(), MSG_NOSIGNAL) != ssize_t(tag.size()))
                ++failed;
            close(p.fd);
            p.fd = -1;
            --open;
        }
    }
    std::printf("tags n=%d failed=%d\n", count, failed + open);
}

// Connections that hold their place by dripping: a byte each every 20 s, so no idle close fires.
void drip(int count, int seconds, int sources)
{
    const int perSource = std::max(1, (count + sources - 1) / sources);
    std::vector<pollfd> held(size_t(count), pollfd{-1, POLLIN, 0});
    char source[32];
    int reopened = 0;
    const auto open = [&](int i) {
        sourceOf(i, perSource, source);
        held[size_t(i)].fd = connectFrom(source);
        if (held[size_t(i)].fd >= 0)
            send(held[size_t(i)].fd, ".", 1, MSG_NOSIGNAL);
    };
    for (int i = 0; i < count; ++i)
        open(i);
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    auto nextDrop = Clock::now() + std::chrono::seconds(20);
    char buffer[256];
    while (Clock::now() < until) {
        poll(held.data(), held.size(), 100);
        for (int i = 0; i < count; ++i) {
            pollfd& p = held[size_t(i)];
            if (p.fd >= 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) && recv(p.fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) {
                close(p.fd);
                p.fd = -1;
            }
            if (p.fd < 0) {
                open(i);
                ++reopened;
            }
        }
        if (Clock::now() >= nextDrop) {
            for (const pollfd& p : held)
                if (p.fd >= 0)
                    send(p.fd, ".", 1, MSG_NOSIGNAL);
            nextDrop += std::chrono::seconds(20);
        }
    }
    for (const pollfd& p : held)
        if (p.fd >= 0)
            close(p.fd);
    std::printf("drip n=%d reopened=%d\n", count, reopened);
}

void report(const char* what, std::vector<long> times, int failures, double seconds)
{
    std::sort(times.begin(), times.end());
    auto at = [&](double q) { return times.empty() ? -1L : times[std::min(times.size() - 1, size_t(q * times.size()))]; };
    std::printf("%s n=%zu failed=%d p50_us=%ld p99_us=%ld max_us=%ld seconds=%.2f\n", what, times.size(), failures,
                at(0.5), at(0.99), times.empty() ? -1L : times.back(), seconds);
}

void sequential(const char* what, int count, int heldCount, const std::string& text)
{
    const std::vector<int> held = keep(heldCount);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<long> times;
    int failures = 0;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const long t = oneMessage(text);
        if (t < 0)
            ++failures;
        else
            times.push_back(t);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (int fd : held)
        close(fd);
    report(what, times, failures, seconds);
}

void burst(int total, int senders)
{
    std::vector<std::vector<long>> perThread(static_cast<size_t>(senders));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int s = 0; s < senders; ++s) {
        threads.emplace_back([&, s] {
            const int mine = total / senders + (s < total % senders ? 1 : 0);
            for (int i = 0; i < mine; ++i) {
                const long t = oneMessage("burst message");
                if (t < 0)
                    ++failures;
                else
                    perThread[size_t(s)].push_back(t);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<long> all;
    for (const auto& v : perThread)
        all.insert(all.end(), v.begin(), v.end());
    report("burst", all, failures.load(), seconds);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: pv_load PORT latency|accept|burst|hold|keep ARGS...\n");
        return 2;
    }
    raiseDescriptorLimit();
    g_port = std::atoi(argv[1]);
    const std::string mode = argv[2];
    const int a = std::atoi(argv[3]);
    const int b = argc > 4 ? std::atoi(argv[4]) : 0;
    if (mode == "latency")
        sequential("latency", a, b, "latency probe");
    else if (mode == "accept")
        sequential("accept", a, b, std::string());
    else if (mode == "tags")
        tags(a);
    else if (mode == "drip")
        drip(a, b, argc > 5 ? std::max(1, std::atoi(argv[5])) : 30);
    else if (mode == "burst")
        burst(a, std::max(1, b));
    else if (mode == "hold" || mode == "keep") {
        const int sources = argc > 5 ? std::max(1, std::atoi(argv[5])) : 0;
        const int perSource = sources > 0 ? (a + sources - 1) / sources : 30;
        const std::vector<int> held = mode == "hold" ? hold(a, perSource, b) : keep(a, perSource);
        std::printf("hold n=%zu\n", held.size());
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(b));
        for (int fd : held)
            close(fd);
    } else {
        std::fprintf(stderr, "pv_load: unknown mode %s\n", mode.c_str());
        return 2;
    }
    return 0;
}
