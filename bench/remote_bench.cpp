// The SCPI server from a client's side, over loopback on the simulated
// board: `kestrel-eval --simulate serve` started as a service starts it, a
// plain C++ client on POSIX sockets. Prints the REG? round trip (median and
// 99th percentile) and the queries per second from 1 client and from 8
// together; then the same from PyVISA (bench/remote_bench.py) when Debian's
// python3-pyvisa is installed.
//
//   build/bench/remote_bench [QUERIES]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Server {
    pid_t pid = -1;
    int port = 0;
};

Server startServer() {
    int out[2];
    if (::pipe(out) != 0) std::exit(1);
    Server s;
    s.pid = ::fork();
    if (s.pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        // The server's client events would only interleave with the figures.
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, 2);
        ::execl(KESTREL_EVAL_BINARY, "kestrel-eval", "--simulate", "serve", "--listen",
                "127.0.0.1:0", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    const std::size_t colon = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
        std::fprintf(stderr, "no 'listening on' line: %s\n", line.c_str());
        std::exit(1);
    }
    s.port = std::atoi(line.c_str() + colon + 1);
    return s;
}

class Client {
  public:
    explicit Client(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::exit(1);
    }
    ~Client() { ::close(fd_); }
    std::string query(const std::string& q) {
        const std::string m = q + "\n";
        if (::write(fd_, m.data(), m.size()) != static_cast<ssize_t>(m.size())) std::exit(1);
        std::string answer;
        for (;;) {
            const std::size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                answer = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return answer;
            }
            char chunk[4096];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0) std::exit(1);
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

  private:
    int fd_;
    std::string buffer_;
};

double perSecond(std::size_t n, Clock::duration d) {
    return static_cast<double>(n) / std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::size_t queries = argc > 1 ? static_cast<std::size_t>(std::atol(argv[1])) : 20000;
    const Server server = startServer();
    {
        Client one(server.port);
        for (int k = 0; k < 500; ++k) one.query("REG? 29");  // warm up
        std::vector<double> us;
        us.reserve(queries);
        const auto start = Clock::now();
        for (std::size_t k = 0; k < queries; ++k) {
            const auto t = Clock::now();
            if (one.query("REG? 29") != "33") return 1;
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
        }
        const auto total = Clock::now() - start;
        std::sort(us.begin(), us.end());
        std::printf("C++ client, REG? round trip: median %.1f us, 99th percentile %.1f us\n",
                    us[us.size() / 2], us[us.size() * 99 / 100]);
        std::printf("C++ client, 1 client:  %.0f queries/s\n", perSecond(queries, total));
        // The same without the bus: the socket and the event loop alone.
        std::vector<double> idle;
        for (std::size_t k = 0; k < queries / 4; ++k) {
            const auto t = Clock::now();
            if (one.query("*ESE?") != "0") return 1;
            idle.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
        }
        std::sort(idle.begin(), idle.end());
        std::printf("C++ client, *ESE? (no bus job) round trip: median %.1f us\n",
                    idle[idle.size() / 2]);
    }
    {
        constexpr int kClients = 8;
        std::atomic<bool> wrong{false};
        std::vector<std::thread> threads;
        const std::size_t each = queries / kClients;
        const auto start = Clock::now();
        for (int c = 0; c < kClients; ++c)
            threads.emplace_back([&] {
                Client client(server.port);
                for (std::size_t k = 0; k < each; ++k)
                    if (client.query("REG? 29") != "33") wrong = true;
            });
        for (std::thread& t : threads) t.join();
        const auto total = Clock::now() - start;
        if (wrong) return 1;
        std::printf("C++ client, 8 clients: %.0f queries/s together\n",
                    perSecond(each * kClients, total));
    }
    const std::string pyvisa = std::string("/usr/bin/python3 ") + KESTREL_BENCH_DIR +
                               "/remote_bench.py " + std::to_string(server.port) + " " +
                               std::to_string(queries / 4);
    std::fflush(stdout);
    if (std::system("/usr/bin/python3 -c 'import pyvisa, pyvisa_py' 2>/dev/null") != 0)
        std::printf("PyVISA: not installed (python3-pyvisa python3-pyvisa-py)\n");
    else if (std::system(pyvisa.c_str()) != 0)
        std::printf("PyVISA: the client failed\n");
    ::kill(server.pid, SIGTERM);
    int status = 0;
    ::waitpid(server.pid, &status, 0);
    return 0;
}
