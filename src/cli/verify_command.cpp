// `morrowdeck-cli verify`: checks a backup folder against its manifest, and against a library.
#include <iostream>
#include <memory>
#include <string>

#include "backup/backup_verifier.h"
#include "cli/command.h"
#include "cli/engine_session.h"
#include "cli/library_location.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

struct VerifyOptions {
    std::string backup;
    std::optional<std::string> against;
    bool json = false;
};

int runVerify(const VerifyOptions& options) {
    std::optional<std::filesystem::path> library;
    if (options.against) {
        library = resolveLibraryOption(*options.against);
        if (!library) {
            std::cerr << noLibraryMessage << '\n';
            return exitUsage;
        }
    }
    EngineSession session(options.json);
    BackupVerifier verifier(session.queue());
    session.extendJson([&verifier](nlohmann::ordered_json& document) {
        const auto& result = verifier.result();
        document["checkedFiles"] = result.checkedFiles;
        document["checkedBytes"] = result.checkedBytes;
        auto findings = nlohmann::ordered_json::array();
        for (const auto& finding : result.findings)
            findings.push_back({{"kind", BackupVerifier::kindName(finding.kind)},
                                {"path", finding.path},
                                {"detail", finding.detail}});
        document["findings"] = std::move(findings);
        auto replaced = nlohmann::ordered_json::array();
        for (const auto& run : result.replaced)
            replaced.push_back({{"run", run.name}, {"files", run.files}});
        document["replaced"] = std::move(replaced);
    });
    verifier.run(std::filesystem::absolute(platform::toPath(options.backup)), library,
                 session.onLog(), session.onProgress(), session.completion());
    return session.wait([&] { verifier.cancel(); });
}

}  // namespace

void registerVerifyCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* command = app.add_subcommand(
        "verify", "Re-read a backup and report damaged, missing and unexpected files");
    command->add_option("BACKUP", options->backup, "The backup folder to check")->required();
    command->add_option("--against", options->against,
                        "Also report the tracks of this library (a _Serato_ folder or its "
                        "parent) that the backup lacks or holds in an older version");
    command->add_flag("--json", options->json,
                      "Print one JSON document with the findings, the progress and the log");
    command->callback([options, &status] { status = runVerify(*options); });
}

}  // namespace morrowdeck::cli
