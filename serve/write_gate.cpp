#include "write_gate.h"

#include <chrono>
#include <cstdlib>

#include "commands.h"
#include "log_text.h"
#include "timestamp.h"

WriteGate::WriteGate(SnapshotStore& store, RefusalLog& log)
    : store_(store), log_(log), limits_(std::make_shared<const WriteLimits>())
{
}

void WriteGate::SetLimits(const WriteLimits& limits)
{
    auto next = std::make_shared<const WriteLimits>(limits);
    std::lock_guard<std::mutex> lock(mutex_);
    limits_ = std::move(next);
}

WriteLimits WriteGate::Limits() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return *limits_;
}

void WriteGate::Refused(const WriteRefusal& refusal, const std::string& who, const std::string& writer,
                        const std::string& detail)
{
    store_.CountRefusal(refusal);
    const std::string time = IsoTimestamp(std::chrono::system_clock::now());
    // Writers' names are escaped where they are made (the endpoint's
    // description of a peer, the web side's user).
    log_.Refusal(writer.empty() ? who : writer,
                 "korvanthine-ctl: " + time + ": write by " + who + " refused: " + refusal.text + detail);
}

std::string WriteGate::CheckFrame(const ExchangeRequest& request, int selected)
{
    log_.Tick();
    // "*", address, code, data word: only the two setting writes carry a value.
    const std::string& frame = request.frame;
    if (frame.size() < 13)
        return "";
    const std::string code = frame.substr(3, 2);
    const bool setPoint = code == CMD_WRITE_SETPOINT;
    if (!setPoint && code != CMD_WRITE_OUTPUT_ENABLE)
        return "";
    // The data word is a signed 32-bit value, as the panel converts it.
    const auto value = static_cast<std::int32_t>(std::strtoul(frame.substr(5, 8).c_str(), nullptr, 16));
    const std::shared_ptr<const WriteLimits> limits = [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return limits_;
    }();
    const std::optional<WriteRefusal> refusal =
        CheckSettingWrite(*limits, selected >= 0 ? selected + 1 : 0,
                          setPoint ? WrittenSetting::SetTemperature : WrittenSetting::OutputEnable, value);
    if (!refusal)
        return "";
    Refused(*refusal, request.who, request.writer, " (" + LogText(frame.substr(0, frame.size() - 1)) + ")");
    return refusal->text;
}

std::optional<WriteRefusal> WriteGate::CheckChange(int channel, std::optional<int> setTenths,
                                                   std::optional<int> outputEnable, const std::string& who,
                                                   const std::string& writer)
{
    const WriteLimits limits = Limits();
    std::optional<WriteRefusal> refusal;
    if (setTenths)
        refusal = CheckSettingWrite(limits, channel, WrittenSetting::SetTemperature, *setTenths);
    if (!refusal && outputEnable)
        refusal = CheckSettingWrite(limits, channel, WrittenSetting::OutputEnable, *outputEnable);
    if (refusal)
        Refused(*refusal, who, writer, "");
    return refusal;
}
