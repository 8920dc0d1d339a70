#pragma once

#include "tests/support/TestNetwork.h"

#include <QTemporaryDir>
#include <string>

namespace kestrion::testsupport {

// The Resolver library registered by kregsvr in a class registry of its own, in a temporary folder
// that a program started with `environment` takes for XDG_CONFIG_HOME. The machine's own registry
// is not touched. KREGSVR_TOOL and RESOLVER_LIBRARY come from the including target.
class ResolverRegistration {
public:
    ResolverRegistration() {
        if (!config_.isValid()) {
            output = "no temporary folder: " + config_.errorString().toStdString();
            return;
        }
        environment = "XDG_CONFIG_HOME=" + config_.path().toStdString();
        status = runCommand({KREGSVR_TOOL, RESOLVER_LIBRARY}, &output, {environment});
    }
    ResolverRegistration(const ResolverRegistration&) = delete;
    ResolverRegistration& operator=(const ResolverRegistration&) = delete;

    bool ok() const { return status == 0; }

    std::string environment; // "XDG_CONFIG_HOME=<the folder>"
    int status = -1;         // kregsvr's exit status; -1 when it did not run
    std::string output;      // what kregsvr wrote, or why it did not run

private:
    QTemporaryDir config_;
};

} // namespace kestrion::testsupport
