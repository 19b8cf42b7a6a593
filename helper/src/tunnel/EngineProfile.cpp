#include "tunnel/EngineProfile.h"

#include "common/StrictObject.h"

namespace ovrin::helper {

std::optional<EngineProfile> EngineProfile::parse(const nlohmann::json& document,
                                                  std::string& error)
{
    constexpr std::int64_t Hour = 3'600'000;
    StrictObject object(document, "netcore");
    object.allowOnly({"format", "seed", "tick_ms", "latency_after_ms", "verify_after_ms",
                      "install_ms", "check_period_ms"});
    EngineProfile engine;
    if (object.integer("format", 1, 1) != 1)
        object.fail("unsupported format");
    engine.seed = std::uint64_t(object.integer("seed", 0, INT64_MAX));
    engine.tick = Millis(object.integer("tick_ms", 20, 10'000));
    engine.latencyAfter = Millis(object.integer("latency_after_ms", 0, Hour, 1000));
    engine.verifyAfter = Millis(object.integer("verify_after_ms", 0, Hour));
    engine.install = Millis(object.integer("install_ms", 0, Hour, 3000));
    engine.checkPeriod = Millis(object.integer("check_period_ms", 100, Hour, 5000));
    if (!object.ok()) {
        error = object.error();
        return std::nullopt;
    }
    return engine;
}

std::optional<EngineProfile> EngineProfile::load(const std::filesystem::path& file,
                                                 std::string& error)
{
    std::optional<nlohmann::json> document = StrictObject::load(file, error);
    if (!document)
        return std::nullopt;
    auto engine = parse(*document, error);
    if (!engine)
        error = file.string() + ": " + error;
    return engine;
}

} // namespace ovrin::helper
