// korvanthine-ctl hash-password as a user runs it, from a pipe and at a
// terminal: the line it prints loads in a web configuration and the
// password verifies against it, as serve checks it; the password is never
// shown, and a mistake prints nothing.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "basic_auth.h"
#include "web_config.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
    int status = -1;
    std::string out; // standard output (at a terminal: everything the terminal showed)
    std::string err;
};

// hash-password USER with standard input from a file holding input.
Outcome FromPipe(const std::string& user, const std::string& input)
{
    const std::string dir = ::testing::TempDir();
    std::ofstream(dir + "hash-in") << input;
    const std::string command = std::string("'") + KORVANTHINE_CTL_PATH + "' hash-password '" + user + "' <'" + dir
                                + "hash-in' >'" + dir + "hash-out' 2>'" + dir + "hash-err'";
    Outcome run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream out(dir + "hash-out"), err(dir + "hash-err");
    std::getline(out, run.out, '\0');
    std::getline(err, run.err, '\0');
    return run;
}

// Reads from the terminal until its text ends with what (or it closes, or
// 30 s pass); true when it did.
bool ReadUntil(int fd, std::string* seen, const std::string& what)
{
    for (const auto end = Clock::now() + std::chrono::seconds(30); Clock::now() < end;) {
        if (seen->size() >= what.size() && seen->compare(seen->size() - what.size(), what.size(), what) == 0)
            return true;
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char chunk[256];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0)
            return false;
        seen->append(chunk, static_cast<std::size_t>(got));
    }
    return false;
}

// hash-password USER at a terminal of its own, typing each answer after its prompt.
Outcome AtTerminal(const std::string& user, const std::vector<std::string>& answers)
{
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execl(KORVANTHINE_CTL_PATH, KORVANTHINE_CTL_PATH, "hash-password", user.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    Outcome run;
    if (pid < 0)
        return run;
    const char* prompts[] = {"New password: ", "The same again: "};
    for (std::size_t i = 0; i < answers.size() && i < 2; ++i) {
        if (!ReadUntil(terminal, &run.out, prompts[i]))
            break;
        const std::string line = answers[i] + "\n";
        (void)!write(terminal, line.data(), line.size());
    }
    ReadUntil(terminal, &run.out, "\x04never"); // to the end: the terminal closes when the program does
    int status = 0;
    for (const auto end = Clock::now() + std::chrono::seconds(30); waitpid(pid, &status, WNOHANG) == 0;) {
        if (Clock::now() >= end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        usleep(10000);
    }
    close(terminal);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The hash of a printed line "alice: $2y$12$..." as the web configuration reads it.
std::string LoadedHash(const std::string& user, const std::string& printed)
{
    WebConfig config;
    std::string error;
    EXPECT_TRUE(LoadWebConfigText("basic_auth_users:\n  " + printed, "web.yml", &config, &error)) << error;
    return config.users.count(user) ? config.users.at(user) : "";
}

TEST(HashPassword, ThePrintedLineLoadsAndThePasswordVerifies)
{
    const std::regex line(R"((\S+): \$2y\$12\$[./A-Za-z0-9]{53}\n)");
    struct Case {
        const char* how;
        std::string user, password;
        Outcome run;
    };
    Case cases[] = {
        {"piped", "alice", "correct horse battery", FromPipe("alice", "correct horse battery\n")},
        {"piped, CRLF", "bob.smith", "p@ss:word \xC3\xA9", FromPipe("bob.smith", "p@ss:word \xC3\xA9\r\n")},
        {"at a terminal", "carol", "typed twice", AtTerminal("carol", {"typed twice", "typed twice"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ASSERT_EQ(c.run.status, 0) << c.run.err;
        // At a terminal the prompts come first; the user's line is the last.
        const std::string printed = c.run.out.substr(c.run.out.rfind(c.user + ": $2y$"));
        std::string unix = printed;
        unix.erase(std::remove(unix.begin(), unix.end(), '\r'), unix.end());
        ASSERT_TRUE(std::regex_match(unix, line)) << printed;
        EXPECT_EQ(c.run.out.find(c.password), std::string::npos) << "the password was shown";
        const std::string hash = LoadedHash(c.user, unix);
        ASSERT_FALSE(hash.empty());
        EXPECT_TRUE(BcryptMatches(c.password, hash));
        EXPECT_FALSE(BcryptMatches(c.password + "x", hash));
    }
    // A new salt each time: the same password never gives the same line.
    EXPECT_NE(FromPipe("alice", "same\n").out, FromPipe("alice", "same\n").out);
}

TEST(HashPassword, AMistakePrintsNothingAndSaysWhy)
{
    struct Case {
        const char* how;
        Outcome run;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"two that differ", AtTerminal("carol", {"first", "second"}), 2, "the two passwords differ"},
        {"empty", FromPipe("alice", "\n"), 2, "the password is empty"},
        {"no input", FromPipe("alice", ""), 2, "no password on standard input"},
        {"over 72 bytes", FromPipe("alice", std::string(73, 'a') + "\n"), 2, "longer than bcrypt's 72 bytes"},
        {"a name with a colon", FromPipe("ali:ce", "pw\n"), 2, "colon"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        EXPECT_EQ(c.run.status, c.status) << c.run.out << c.run.err;
        EXPECT_NE((c.run.out + c.run.err).find(c.says), std::string::npos) << c.run.out << c.run.err;
        EXPECT_EQ(c.run.out.find("$2y$"), std::string::npos) << c.run.out;
    }
}

} // namespace
