// Where serve keeps its programs' journals when --state.dir names nothing:
// a run journaled in one folder and looked for in another is a run lost
// after a restart. Every case sets the whole environment StateFolder goes by.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "state_folder.h"

namespace {

// Sets (or, with nullopt, removes) a variable for the test's life.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::optional<std::string>& value) : name_(std::move(name))
    {
        if (const char* old = std::getenv(name_.c_str()))
            saved_ = old;
        Set(value);
    }
    ~ScopedVariable() { Set(saved_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void Set(const std::optional<std::string>& value)
    {
#ifdef _WIN32
        _putenv((name_ + "=" + value.value_or("")).c_str()); // "NAME=" removes it
#else
        if (value)
            setenv(name_.c_str(), value->c_str(), 1);
        else
            unsetenv(name_.c_str());
#endif
    }
    std::string name_;
    std::optional<std::string> saved_;
};

struct Variable {
    const char* name;
    std::optional<std::string> value;
};

struct FolderCase {
    const char* name;
    std::string given;
    bool service;
    std::vector<Variable> environment;
    std::string expected;
};

TEST(StateFolder, GivenFolderElseTheServicesElseTheUsers)
{
#ifdef _WIN32
    const std::vector<Variable> both = {{"LOCALAPPDATA", "C:\\Users\\lab\\AppData\\Local"},
                                        {"ProgramData", "C:\\ProgramData"}};
    const FolderCase cases[] = {
        {"given wins", "D:\\bench", true, both, "D:\\bench"},
        {"a user's", "", false, both, "C:\\Users\\lab\\AppData\\Local\\korvanthine"},
        // A service's own profile would hide its runs from whoever looks after the bench.
        {"the service's", "", true, both, "C:\\ProgramData\\korvanthine"},
        {"a user without a profile", "", false, {{"LOCALAPPDATA", std::nullopt}, {"ProgramData", "C:\\ProgramData"}}, ""},
        {"a service without ProgramData", "", true, {{"LOCALAPPDATA", "C:\\Users\\lab\\AppData\\Local"},
                                                    {"ProgramData", std::nullopt}}, ""},
    };
#else
    const FolderCase cases[] = {
        {"given wins", "/srv/bench", false, {{"STATE_DIRECTORY", "/var/lib/korvanthine"}}, "/srv/bench"},
        {"systemd's first StateDirectory", "", false,
         {{"STATE_DIRECTORY", "/var/lib/korvanthine:/var/lib/other"}, {"XDG_STATE_HOME", "/home/lab/.state"}},
         "/var/lib/korvanthine"},
        {"the user's XDG folder", "", false,
         {{"STATE_DIRECTORY", std::nullopt}, {"XDG_STATE_HOME", "/home/lab/.state"}, {"HOME", "/home/lab"}},
         "/home/lab/.state/korvanthine"},
        {"a relative XDG folder is ignored", "", false,
         {{"STATE_DIRECTORY", std::nullopt}, {"XDG_STATE_HOME", "state"}, {"HOME", "/home/lab"}},
         "/home/lab/.local/state/korvanthine"},
        {"nothing to go by", "", false,
         {{"STATE_DIRECTORY", std::nullopt}, {"XDG_STATE_HOME", std::nullopt}, {"HOME", std::nullopt}}, ""},
    };
#endif
    for (const FolderCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<ScopedVariable>> set;
        for (const Variable& variable : c.environment)
            set.push_back(std::make_unique<ScopedVariable>(variable.name, variable.value));
        EXPECT_EQ(StateFolder(c.given, c.service), c.expected);
    }
}

TEST(StateFolder, EachPortHasAFolderThatStaysInsideTheStateFolder)
{
#ifdef _WIN32
    const std::string in = "\\programs\\";
#else
    const std::string in = "/programs/";
#endif
    const struct {
        std::string port;
        std::string folder;
    } cases[] = {
#ifdef _WIN32
        // Windows makes no folder of a device's name, with or without a dot after it.
        {"COM3", "_COM3"},
        {"com9", "_com9"},
        {"LPT1", "_LPT1"},
        {"nul.x", "_nul.x"},
        {"COM12", "COM12"},
        {"CONSOLE", "CONSOLE"},
#else
        {"COM3", "COM3"},
#endif
        {"/dev/ttyUSB0", "_dev_ttyUSB0"},
        {"\\\\.\\COM12", "__._COM12"},
        {"..", "_.."},
        {".", "_."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(ProgramRunsFolder("state", c.port), "state" + in + c.folder);
    }
    EXPECT_EQ(ProgramRunsFolder("", "COM3"), "");
}

} // namespace
