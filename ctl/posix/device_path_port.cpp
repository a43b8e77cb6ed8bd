// A device path such as /dev/ttyUSB0 reaches the link as a port name: a
// private ports folder, named for this one open, maps "COM1" to the device,
// so the open is the link's own (exclusive use, line settings, empty queues).
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "comm_port.h"
#include "port_names.h"
#include "port_session.h"

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = getenv(name)) {
            had_ = true;
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

} // namespace

int OpenPortByNameOrPath(const std::string& port)
{
    if (port.find('/') == std::string::npos)
        return OpenCommPort(port.c_str());

    char device[PATH_MAX];
    if (realpath(port.c_str(), device) == nullptr)
        return 0;
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/korvanthine-ctl.XXXXXX";
    if (mkdtemp(dir.data()) == nullptr)
        return 0;
    const std::string entry = dir + "/com1";
    int opened = 0;
    if (symlink(device, entry.c_str()) == 0) {
        ScopedEnv ports("KORVANTHINE_PORTS", dir);
        opened = OpenCommPort("COM1");
        unlink(entry.c_str());
    }
    rmdir(dir.c_str());
    return opened;
}

std::string PortsFolderEntry(const std::string& port)
{
    if (port.find('/') != std::string::npos)
        return "";
    return PortsEntry(port);
}
