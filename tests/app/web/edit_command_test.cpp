// `loomhost edit` as a process: what it prints, how it ends on a signal, and how it says
// why it cannot listen. The target defines LOOMHOST_BIN and PLUGIN_DIR.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

/// A running `loomhost edit`; killed at the end if still running.
class EditProcess {
  public:
    explicit EditProcess(std::vector<std::string> args) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        std::vector<std::string> all = {LOOMHOST_BIN, "--plugins", PLUGIN_DIR, "edit"};
        all.insert(all.end(), args.begin(), args.end());
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            std::vector<char*> argv;
            for (std::string& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~EditProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    /// What the process printed on `fd` until `pattern` matched (or `wait` passed).
    std::string ReadUntil(bool stderrStream, const std::regex& pattern,
                          std::chrono::milliseconds wait) {
        std::string& text = stderrStream ? errText_ : outText_;
        const int fd = stderrStream ? err_ : out_;
        const auto end = Clock::now() + wait;
        while (!std::regex_search(text, pattern) && Clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<size_t>(n));
        }
        return text;
    }
    /// The exit status once it has ended within `wait`, or -1.
    int WaitExit(std::chrono::milliseconds wait) {
        const auto end = Clock::now() + wait;
        while (Clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool exited_ = false;
    std::string outText_, errText_;
};

class EditCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        root = std::filesystem::temp_directory_path() /
               ("loom_editcmd_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(root);
    }
    void TearDown() override { std::filesystem::remove_all(root); }
    std::filesystem::path root;
};

TEST_F(EditCommand, PrintsATokenedAddressAndStopsPromptlyOnEverySignal) {
    const std::regex address(R"(http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{64})\n)");
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        EditProcess editor({"--port", "0", "--open", "nimbra", "--root", root.string()});
        ASSERT_GT(editor.Pid(), 0);
        std::smatch m;
        const std::string out = editor.ReadUntil(false, address, std::chrono::seconds(20));
        ASSERT_TRUE(std::regex_search(out, m, address)) << out;
        const int port = std::stoi(m[1]);
        httplib::Client http("127.0.0.1", port);
        http.set_default_headers({{"X-Loom-Token", m[2].str()}});
        auto r = http.Get("/api/state");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200);
        // Held connections and an open modal dialog do not hold the editor up.
        auto setup = http.Post("/api/filter/setup", "{}", "application/json");
        ASSERT_TRUE(setup);
        EXPECT_EQ(setup->status, 200);
        int held[8];
        for (int& fd : held) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<std::uint16_t>(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto start = Clock::now();
        ASSERT_EQ(::kill(editor.Pid(), sig), 0);
        EXPECT_EQ(editor.WaitExit(std::chrono::seconds(2)), 0);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
        for (int fd : held) ::close(fd);
    }
}

TEST_F(EditCommand, APortInUseAndABadTokenAreRefusedWithTheReason) {
    EditProcess first({"--port", "0", "--root", root.string()});
    const std::regex address(R"(127\.0\.0\.1:(\d+)/)");
    std::smatch m;
    const std::string out = first.ReadUntil(false, address, std::chrono::seconds(20));
    ASSERT_TRUE(std::regex_search(out, m, address)) << out;

    EditProcess second({"--port", m[1].str(), "--root", root.string()});
    EXPECT_NE(second.WaitExit(std::chrono::seconds(20)), 0);
    const std::string err = second.ReadUntil(true, std::regex("in use"), std::chrono::seconds(1));
    EXPECT_NE(err.find("127.0.0.1:" + m[1].str()), std::string::npos) << err;
    EXPECT_NE(err.find(std::strerror(EADDRINUSE)), std::string::npos) << err;

    EditProcess bad({"--port", "0", "--token", "short", "--root", root.string()});
    EXPECT_NE(bad.WaitExit(std::chrono::seconds(20)), 0);
    const std::string said = bad.ReadUntil(true, std::regex("--token"), std::chrono::seconds(1));
    EXPECT_NE(said.find("--token"), std::string::npos) << said;
}

}  // namespace
