#pragma once

#include "cliarguments.h"

#include <QCoreApplication>

// brindle-cli check: a folder against a checksum list of sha256sum, b2sum or xxhsum -H2.
class CliChecksums
{
    Q_DECLARE_TR_FUNCTIONS(CliChecksums)

public:
    // Prints what differs (all results with --json) and returns the exit code: 0 when every
    // listed file is equal and the folder holds nothing more, 1 otherwise, 2 when the list
    // cannot be read or the folder is missing.
    static int run(const CliArguments& arguments);
};
