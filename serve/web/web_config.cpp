#include "web_config.h"

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include <yaml-cpp/yaml.h>

#include "set_temperature_text.h"

namespace {

// yaml-cpp counts lines from 0.
std::string Where(const std::string& path, const YAML::Mark& mark)
{
    return path + ":" + std::to_string(mark.line + 1) + ": ";
}

// The first line that reads "name:$2y$..." with no space after the colon,
// as htpasswd -nB prints a user: YAML takes it for one word, not a name and
// its hash. Its number and name; 0 when there is none.
std::pair<int, std::string> HtpasswdLine(const std::string& text)
{
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        const std::size_t start = line.find_first_not_of(" \t");
        const std::size_t colon = line.find(":$2");
        if (start == std::string::npos || colon == std::string::npos || colon <= start
            || line.find_first_of(" \t#", start) < colon)
            continue;
        return {number, line.substr(start, colon - start)};
    }
    return {0, ""};
}

struct Refusal {
    YAML::Mark mark;
    std::string what;
};

void Refuse(const YAML::Node& node, const std::string& what)
{
    throw Refusal{node.Mark(), what};
}

std::string Scalar(const YAML::Node& node, const std::string& name)
{
    if (!node.IsScalar())
        Refuse(node, name + " is not a single value");
    return node.Scalar();
}

// Relative paths are taken from the configuration file's own folder, as the
// exporters take them, so a service's working directory does not matter.
#ifdef _WIN32
// Windows takes either slash, and a drive ("C:...") or a share ("\\host")
// starts a path that is not relative.
constexpr char kSeparators[] = "/\\";
bool Absolute(const std::string& file)
{
    return file[0] == '/' || file[0] == '\\' || (file.size() > 1 && file[1] == ':');
}
#else
constexpr char kSeparators[] = "/";
bool Absolute(const std::string& file)
{
    return file[0] == '/';
}
#endif

std::string Resolved(const std::string& configPath, const std::string& file)
{
    if (file.empty() || Absolute(file))
        return file;
    const std::size_t slash = configPath.find_last_of(kSeparators);
    return slash == std::string::npos ? file : configPath.substr(0, slash + 1) + file;
}

// Far more than any web configuration holds; a file of aliases to aliases
// (which yaml-cpp shares, not copies) is refused before its walk gets long.
constexpr std::size_t kMaxValues = 100000;

// yaml-cpp keeps both entries of a key given twice, and looking the key up
// finds only the first: a second cert_file or a second alice would be
// silently ignored, or taken, depending on who reads it. Every mapping, at
// every depth, is checked before anything is read. A walk with a stack of
// its own, so that deep nesting costs no recursion.
void RefuseKeysGivenTwice(const YAML::Node& root)
{
    std::vector<YAML::Node> pending{root};
    std::size_t visited = 0;
    while (!pending.empty()) {
        const YAML::Node node = pending.back();
        pending.pop_back();
        if (++visited > kMaxValues)
            Refuse(node, "the file holds more than " + std::to_string(kMaxValues) + " values");
        if (node.IsSequence()) {
            for (const YAML::Node& item : node)
                pending.push_back(item);
        } else if (node.IsMap()) {
            std::map<std::string, YAML::Mark> seen;
            for (const auto& entry : node) {
                if (entry.first.IsScalar()) {
                    const auto [first, isNew] = seen.emplace(entry.first.Scalar(), entry.first.Mark());
                    if (!isNew)
                        Refuse(entry.first, entry.first.Scalar() + " is given twice (first on line "
                                                + std::to_string(first->second.line + 1) + ")");
                } else {
                    pending.push_back(entry.first);
                }
                pending.push_back(entry.second);
            }
        }
    }
}

void ExpectMap(const YAML::Node& node, const std::string& name)
{
    if (!node.IsMap())
        Refuse(node, name + " is not a mapping of keys to values");
}

void ReadTls(const YAML::Node& node, const std::string& path, WebConfig* config)
{
    ExpectMap(node, "tls_server_config");
    for (const auto& entry : node) {
        const std::string key = entry.first.Scalar();
        if (key == "cert_file" || key == "key_file") {
            const std::string file = Resolved(path, Scalar(entry.second, key));
            struct stat info{};
            if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
                Refuse(entry.second, key + " " + file + " is not a file that can be read");
            (key == "cert_file" ? config->certFile : config->keyFile) = file;
        } else if (key == "min_version") {
            const std::string version = Scalar(entry.second, key);
            if (version != "TLS12" && version != "TLS13")
                Refuse(entry.second, "min_version " + version + " is not TLS12 or TLS13");
            config->minTls13 = version == "TLS13";
        } else {
            Refuse(entry.first, "tls_server_config: " + key + " is not supported (cert_file, key_file, min_version)");
        }
    }
    if (config->certFile.empty() || config->keyFile.empty())
        Refuse(node, "tls_server_config needs both cert_file and key_file");
    config->tls = true;
}

void ReadUsers(const YAML::Node& node, WebConfig* config)
{
    if (node.IsNull())
        return;
    ExpectMap(node, "basic_auth_users");
    for (const auto& entry : node) {
        const std::string name = Scalar(entry.first, "a user's name");
        if (name.empty() || name.find(':') != std::string::npos)
            Refuse(entry.first, "a user's name must not be empty or hold a colon");
        const std::string hash = Scalar(entry.second, name + "'s hash");
        const int cost = BcryptCost(hash);
        if (cost >= 0 && (cost < kMinBcryptCost || cost > kMaxBcryptCost))
            Refuse(entry.second, name + "'s bcrypt cost " + std::to_string(cost) + " is not from "
                                     + std::to_string(kMinBcryptCost) + " to " + std::to_string(kMaxBcryptCost)
                                     + " (htpasswd -nBC 10 " + name + ")");
        if (!IsBcryptHash(hash))
            Refuse(entry.second, name + "'s password hash is not bcrypt ($2y$ or $2b$, as htpasswd -nB writes it)");
        config->users[name] = hash;
    }
}

// A limit in degrees Celsius, as an operator types a set temperature.
std::int32_t Celsius(const YAML::Node& node, const std::string& name)
{
    int tenths = 0;
    std::string problem;
    if (!SetTemperatureTenths(Scalar(node, name), &tenths, &problem))
        Refuse(node, name + ": " + problem);
    if (tenths < kAbsoluteZeroTenths)
        Refuse(node, name + " " + node.Scalar() + " is below absolute zero (-273.1)");
    return tenths;
}

ChannelLimits ReadChannelLimits(const YAML::Node& node, const std::string& channel)
{
    ExpectMap(node, "limits: " + channel);
    ChannelLimits limits;
    for (const auto& entry : node) {
        const std::string key = Scalar(entry.first, "a limit's name");
        if (key == "set_temperature_celsius") {
            const YAML::Node& range = entry.second;
            if (!range.IsSequence() || range.size() != 2)
                Refuse(range, "set_temperature_celsius is not a pair [lowest, highest]");
            limits.lowestTenths = Celsius(range[0], "the lowest set temperature");
            limits.highestTenths = Celsius(range[1], "the highest set temperature");
            if (*limits.lowestTenths > *limits.highestTenths)
                Refuse(range, "set_temperature_celsius: the lowest is above the highest");
        } else if (key == "output_enable") {
            bool allowed = false;
            if (!entry.second.IsScalar() || !YAML::convert<bool>::decode(entry.second, allowed))
                Refuse(entry.second, "output_enable is neither true nor false");
            limits.outputEnableAllowed = allowed;
        } else {
            Refuse(entry.first, "limits: " + key + " is not supported (set_temperature_celsius, output_enable)");
        }
    }
    return limits;
}

void ReadLimits(const YAML::Node& node, WriteLimits* limits)
{
    if (node.IsNull())
        return;
    ExpectMap(node, "limits");
    for (const auto& entry : node) {
        const std::string channel = Scalar(entry.first, "a channel");
        if (channel == "all")
            limits->all = ReadChannelLimits(entry.second, channel);
        else if (channel.size() == 1 && channel[0] >= '1' && channel[0] <= '4')
            limits->channels[channel[0] - '0'] = ReadChannelLimits(entry.second, channel);
        else
            Refuse(entry.first, "limits: " + channel + " is neither all nor a channel from \"1\" to \"4\"");
    }
}

void ReadOwn(const YAML::Node& node, WebConfig* config)
{
    ExpectMap(node, "korvanthine");
    for (const auto& entry : node) {
        const std::string key = entry.first.Scalar();
        if (key == "limits") {
            ReadLimits(entry.second, &config->limits);
            continue;
        }
        if (key != "operators")
            Refuse(entry.first, "korvanthine: " + key + " is not supported (operators, limits)");
        if (entry.second.IsNull())
            continue;
        if (!entry.second.IsSequence())
            Refuse(entry.second, "operators is not a list of user names");
        for (const YAML::Node& name : entry.second) {
            const std::string user = Scalar(name, "an operator");
            if (config->users.count(user) == 0)
                Refuse(name, "operator " + user + " is not one of basic_auth_users");
            config->operators.insert(user);
        }
    }
}

} // namespace

int BcryptCost(const std::string& hash)
{
    if (hash.size() < 7 || hash[0] != '$' || hash[1] != '2' || hash[3] != '$' || hash[6] != '$')
        return -1;
    if (hash[4] < '0' || hash[4] > '9' || hash[5] < '0' || hash[5] > '9')
        return -1;
    return (hash[4] - '0') * 10 + (hash[5] - '0');
}

bool IsBcryptHash(const std::string& hash)
{
    static const std::string kAlphabet = "./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    if (hash.size() != 60 || (hash.compare(0, 4, "$2y$") != 0 && hash.compare(0, 4, "$2b$") != 0))
        return false;
    const int cost = BcryptCost(hash);
    if (cost < kMinBcryptCost || cost > kMaxBcryptCost)
        return false;
    return hash.find_first_not_of(kAlphabet, 7) == std::string::npos;
}

std::string CostliestHash(const WebConfig& config)
{
    std::string costliest;
    for (const auto& [name, hash] : config.users)
        if (costliest.empty() || BcryptCost(hash) > BcryptCost(costliest))
            costliest = hash;
    return costliest;
}

bool LoadWebConfig(const std::string& path, WebConfig* config, std::string* error)
{
    struct stat info{};
    std::ifstream file;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        file.open(path, std::ios::binary);
    std::ostringstream text;
    if (file.is_open())
        text << file.rdbuf();
    if (!file.is_open() || file.bad()) {
        *error = path + ": cannot be read";
        return false;
    }
    return LoadWebConfigText(text.str(), path, config, error);
}

bool LoadWebConfigText(const std::string& text, const std::string& path, WebConfig* config, std::string* error)
{
    WebConfig loaded;
    std::string failure;
    try {
        const YAML::Node root = YAML::Load(text);
        RefuseKeysGivenTwice(root);
        if (!root.IsNull()) {
            ExpectMap(root, "the file");
            // Users first: the operators name them.
            if (root["basic_auth_users"])
                ReadUsers(root["basic_auth_users"], &loaded);
            for (const auto& entry : root) {
                const std::string key = entry.first.Scalar();
                if (key == "tls_server_config")
                    ReadTls(entry.second, path, &loaded);
                else if (key == "korvanthine")
                    ReadOwn(entry.second, &loaded);
                else if (key != "basic_auth_users")
                    Refuse(entry.first, key + " is not supported (tls_server_config, basic_auth_users, korvanthine)");
            }
        }
    } catch (const Refusal& refusal) {
        failure = Where(path, refusal.mark) + refusal.what;
    } catch (const YAML::Exception& problem) {
        failure = Where(path, problem.mark) + problem.msg;
    }
    if (!failure.empty()) {
        *error = failure;
        // Whatever YAML made of it, the line as htpasswd prints it is the cause.
        const auto [line, name] = HtpasswdLine(text);
        if (line > 0)
            *error = path + ":" + std::to_string(line) + ": a space is missing after the colon in " + name
                     + ":$2...: write it as " + name + ": $2... (a name, a colon, a space and the hash; htpasswd "
                       "prints it without the space)";
        return false;
    }
    *config = std::move(loaded);
    return true;
}
