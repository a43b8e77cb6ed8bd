// POST /programs and POST /programs/{id}/hold|resume|abort once the request
// is known to come from a user over TLS, from no other site's page: an
// operator's command goes to serve's program runner; every attempt by a
// user is in the audit trail, as settings writes are. The answer's status is
// the runner's (201 started, 200 done, 400 the program will not do, 404 no
// such run, 409 busy or not in a state for it, 422 the lab's limits, 503 no
// journal), or 403 for a viewer, 413 for a file past kMaxProgramBody, and
// 503 while serve has no runner. The body is {"id":"..."} on success,
// {"errors":[...],"error":"..."} otherwise ("error": the errors on one line).
//
// The runner is reached through ProgramControl, so that this side is built
// and tested without it.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "audit_trail.h"
#include "program_command_answer.h"
#include "program_status.h"

// program_engine.h's; its enumerators are needed only where a command is
// made or told apart.
enum class OperatorCommand;

// A program's file is a few KB; a body past this is refused unread.
constexpr std::size_t kMaxProgramBody = 64 * 1024;

struct ProgramControl {
    // text: the file as posted; source: its name in messages ("anneal.yml");
    // who: the user and address, as the run's "started by".
    std::function<ProgramCommandAnswer(const std::string& text, const std::string& source, const std::string& who)>
        start;
    std::function<ProgramCommandAnswer(OperatorCommand command, int channel, const std::string& id,
                                       const std::string& who)>
        command;
    // Whether the channel has a program that is neither held nor over.
    std::function<bool(int channel)> channelLocked;
    // The runs now: their names for messages, their channels for the trail.
    std::function<ProgramsView()> view;
};

struct ProgramAnswer {
    int status = 500;
    std::string json;
};

class ProgramEndpoint {
public:
    using Now = std::function<double()>; // seconds since 1970

    ProgramEndpoint(AuditTrail& audit, Now now);

    // Before serving; until then every command answers 503.
    void Use(ProgramControl control);

    ProgramAnswer Start(const std::string& body, const std::string& source, const std::string& user,
                        bool isOperator, const std::string& client);
    ProgramAnswer Command(OperatorCommand command, const std::string& id, const std::string& user, bool isOperator,
                          const std::string& client);

    // Why the network may not write to the channel now ("channel 2 runs
    // program anneal-ch2: hold it first"), or nothing when it may.
    std::optional<std::string> WhyLocked(int channel) const;

private:
    ProgramControl Control() const;

    AuditTrail& audit_;
    Now now_;
    mutable std::mutex mutex_;
    ProgramControl control_;
};
