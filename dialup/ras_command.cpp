#include "dialup/ras_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/base/clock.h"
#include "dialup/ras_line.h"

extern char** environ;

namespace {

constexpr std::size_t kMaxOutput = 64 * 1024;
constexpr int kPollStepMs = 100;

// The environment of a command: ours without the names set here, then the extra entries.
std::vector<std::string> CommandEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> result;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        if (name == "DOVRANT_PASSWORD=") continue;
        const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& x) {
            return x.compare(0, name.size(), name) == 0;
        });
        if (!replaced) result.push_back(entry);
    }
    result.insert(result.end(), extra.begin(), extra.end());
    return result;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Reads what is there without waiting; false at the end of the output.
bool ReadAvailable(int fd, std::string& output) {
    char buffer[4096];
    for (int i = 0; i < 64; ++i) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return false;
        if (n < 0) return errno == EAGAIN || errno == EINTR;
        const std::size_t room = kMaxOutput - std::min(kMaxOutput, output.size());
        output.append(buffer, std::min(room, static_cast<std::size_t>(n)));
    }
    return true;
}

}  // namespace

TCommandRun RunLineCommand(const std::string& command, const std::vector<std::string>& environment,
                           const std::string& input, int timeoutMs,
                           const std::atomic<bool>* cancel) {
    TCommandRun run;
    // Everything the child needs is made before the fork: after it, only exec.
    std::vector<std::string> envStore = CommandEnvironment(environment);
    std::vector<char*> envp;
    for (std::string& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string shell = "/bin/sh", name = "sh", flag = "-c", text = command;
    char* argv[] = {name.data(), flag.data(), text.data(), nullptr};

    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) return run;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        CloseFd(in[0]), CloseFd(in[1]);
        return run;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(in[1], 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execve(shell.c_str(), argv, envp.data());
        ::_exit(127);
    }
    CloseFd(in[1]), CloseFd(out[1]);
    if (pid < 0) {
        CloseFd(in[0]), CloseFd(out[0]);
        return run;
    }
    ::setpgid(pid, pid);
    run.Started = true;

    // The input is a line or two: it fits the socket's buffer, and a command that never reads
    // it does not hold us up.
    std::size_t sent = 0;
    for (int i = 0; i < 16 && sent < input.size(); ++i) {
        const ssize_t n =
            ::send(in[0], input.data() + sent, input.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    CloseFd(in[0]);
    ::fcntl(out[0], F_SETFL, ::fcntl(out[0], F_GETFL) | O_NONBLOCK);

    const int64_t deadline = MonotonicMs() + std::max(0, timeoutMs);
    int status = 0;
    bool exited = false;
    // Each step waits at least one millisecond of the clock, so the deadline bounds the loop.
    while (!exited) {
        if (cancel != nullptr && cancel->load()) {
            run.Cancelled = true;
            break;
        }
        const int64_t remaining = deadline - MonotonicMs();
        if (remaining <= 0) {
            run.TimedOut = true;
            break;
        }
        const int step = static_cast<int>(std::clamp<int64_t>(remaining, 1, kPollStepMs));
        if (out[0] >= 0) {
            pollfd p{out[0], POLLIN, 0};
            if (Clock().Poll(&p, 1, step) > 0 && !ReadAvailable(out[0], run.Output))
                CloseFd(out[0]);
        } else {
            Clock().Sleep(std::min(step, 10));
        }
        exited = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    if (exited) {
        if (out[0] >= 0) ReadAvailable(out[0], run.Output);
        run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    CloseFd(out[0]);
    return run;
}

namespace {

// A link brought up by commands; the commands run on the line's own thread.
class TCommandLine : public IRasLine {
  public:
    // alreadyUp: a link brought up by other means, taken as connected without the up command.
    TCommandLine(const TRasEntry& entry, const RASDIALPARAMS& params, bool alreadyUp)
        : entry_(entry), alreadyUp_(alreadyUp) {
        environment_ = {"DOVRANT_ENTRY=" + entry.Name, "DOVRANT_USER=" + params.szUserName,
                        "DOVRANT_PHONE=" + params.szPhoneNumber};
        // Only the up command is given the password.
        upEnvironment_ = environment_;
        if (entry.PasswordByEnvironment)
            upEnvironment_.push_back("DOVRANT_PASSWORD=" + params.szPassword);
        else
            input_ = params.szPassword + "\n";
        if (alreadyUp) {
            state_ = RASCS_Connected;
        } else {
            untold_ = {{RASCS_OpenPort, 0}, {RASCS_ConnectDevice, 0}};
            state_ = RASCS_ConnectDevice;
        }
        thread_ = std::thread([this] { Run(); });
    }

    ~TCommandLine() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        abort_ = true;
        hangingUp_ = true;
        wake_.notify_all();
        thread_.join();
    }

    void Poll(int64_t nowMs, const std::function<void(int, unsigned)>& notify, int& state,
              unsigned& error) override {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [s, e] : untold_) notify(s, e);
        untold_.clear();
        state = state_, error = error_;
        if (state_ == RASCS_Connected && !hangUp_ && !checkWanted_ &&
            !entry_.StatusCommand.empty() && nowMs - lastCheckMs_ >= CommandStatusIntervalMs) {
            checkWanted_ = true;
            wake_.notify_all();
        }
    }

    void HangUp(int64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        hangUp_ = true;
        hangingUp_ = true;
        wake_.notify_all();
    }

    bool Gone(int64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return gone_;
    }

  private:
    int TimeoutMs() const { return std::max(1, entry_.CommandTimeout) * 1000; }

    bool StatusUp() {
        const TCommandRun run =
            RunLineCommand(entry_.StatusCommand, environment_, "", TimeoutMs(), &abort_);
        return run.ExitCode == 0 && (entry_.StatusUpText.empty() ||
                                     run.Output.find(entry_.StatusUpText) != std::string::npos);
    }

    void SetState(int state, unsigned error) {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = state, error_ = error;
        untold_.emplace_back(state, error);
    }

    void Run() {
        if (!alreadyUp_) Dial();
        Watch();
    }

    void Dial() {
        const TCommandRun up =
            RunLineCommand(entry_.UpCommand, upEnvironment_, input_, TimeoutMs(), &hangingUp_);
        input_.assign(input_.size(), '\0');
        for (std::string& e : upEnvironment_) e.assign(e.size(), '\0');
        if (!up.Cancelled) {
            if (up.TimedOut)
                SetState(RASCS_Disconnected, ERROR_REQUEST_TIMEOUT);
            else if (up.ExitCode != 0 || (!entry_.StatusCommand.empty() && !StatusUp()))
                SetState(RASCS_Disconnected, ERROR_FROM_DEVICE);
            else
                SetState(RASCS_Connected, 0);
        }
    }

    // Runs the status checks asked for until the hang-up, then the down command.
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        lastCheckMs_ = MonotonicMs();
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || hangUp_ || checkWanted_; });
            if (stop_) return;
            if (hangUp_) break;
            lock.unlock();
            const bool up = StatusUp();
            lock.lock();
            // A link taken in from elsewhere is simply gone once it is down.
            if (!up && alreadyUp_ && !hangUp_) {
                gone_ = true;
                return;
            }
            if (!up && state_ == RASCS_Connected && !hangUp_) {
                state_ = RASCS_Disconnected, error_ = ERROR_PORT_DISCONNECTED;
                untold_.emplace_back(state_, error_);
            }
            checkWanted_ = false;
            lastCheckMs_ = MonotonicMs();
        }
        lock.unlock();
        if (!entry_.DownCommand.empty())
            RunLineCommand(entry_.DownCommand, environment_, "", TimeoutMs(), &abort_);
        lock.lock();
        state_ = RASCS_Disconnected;
        gone_ = true;
    }

    const TRasEntry entry_;
    const bool alreadyUp_;
    std::vector<std::string> environment_;
    std::vector<std::string> upEnvironment_;
    std::string input_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::pair<int, unsigned>> untold_;
    int state_ = RASCS_OpenPort;
    unsigned error_ = 0;
    bool hangUp_ = false;
    bool stop_ = false;
    bool gone_ = false;
    bool checkWanted_ = false;
    int64_t lastCheckMs_ = 0;
    std::atomic<bool> hangingUp_{false};
    std::atomic<bool> abort_{false};
    std::thread thread_;
};

}  // namespace

unsigned MakeCommandLine(const TRasEntry& entry, const RASDIALPARAMS& params,
                         std::unique_ptr<IRasLine>& line) {
    if (entry.UpCommand.empty()) return ERROR_PORT_NOT_AVAILABLE;
    line = std::make_unique<TCommandLine>(entry, params, false);
    return ERROR_SUCCESS;
}

bool CommandLinkUp(const TRasEntry& entry) {
    if (entry.Line != TRasLineKind::Command || entry.StatusCommand.empty()) return false;
    const TCommandRun run = RunLineCommand(entry.StatusCommand, {"DOVRANT_ENTRY=" + entry.Name}, "",
                                           std::max(1, entry.CommandTimeout) * 1000);
    return run.ExitCode == 0 &&
           (entry.StatusUpText.empty() || run.Output.find(entry.StatusUpText) != std::string::npos);
}

std::unique_ptr<IRasLine> MakeCommandLineAlreadyUp(const TRasEntry& entry) {
    RASDIALPARAMS params;
    params.szEntryName = entry.Name;
    params.szUserName = entry.UserName;
    params.szPhoneNumber = entry.PhoneNumber;
    return std::make_unique<TCommandLine>(entry, params, true);
}
