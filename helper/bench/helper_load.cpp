// helper_load SOCKET CLIENTS REQUESTS: sends REQUESTS "GET /status" requests to the helper's
// control socket from CLIENTS threads, one connection per request as the application does,
// and prints one line: clients, requests, failures, seconds, requests per second.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const char Request[] = "GET /status HTTP/1.0\r\nHost: ovrin\r\nContent-Type: application/json\r\n"
                       "Content-Length: 0\r\n\r\n";

bool roundTrip(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
              ::send(fd, Request, sizeof Request - 1, MSG_NOSIGNAL) == ssize_t(sizeof Request - 1);
    std::string reply;
    char chunk[16384];
    for (ssize_t n = 0; ok && (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
        reply.append(chunk, std::size_t(n));
    ::close(fd);
    return ok && reply.rfind("HTTP/1.0 200 ", 0) == 0 && reply.find("\"verified\"") != reply.npos;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || std::atoi(argv[2]) < 1 || std::atol(argv[3]) < 1) {
        std::fprintf(stderr, "usage: helper_load SOCKET CLIENTS REQUESTS\n");
        return 64;
    }
    const std::string path = argv[1];
    const int clients = std::atoi(argv[2]);
    const long requests = std::atol(argv[3]);

    std::atomic<long> next = 0;
    std::atomic<long> failures = 0;
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&] {
            while (next.fetch_add(1) < requests)
                if (!roundTrip(path))
                    ++failures;
        });
    for (std::thread& thread : threads)
        thread.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("clients %d requests %ld failures %ld seconds %.2f rps %.0f\n", clients, requests,
                failures.load(), seconds, double(requests) / seconds);
    return failures == 0 ? 0 : 1;
}
