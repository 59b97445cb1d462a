#!/bin/sh
# The text help2man makes the man page from: the program's help, then each subcommand's help
# under a heading of its own. The program is $MORROWDECK_CLI; called with --help or --version.
set -e
if [ "$1" = --version ]; then exec "$MORROWDECK_CLI" --version; fi
"$MORROWDECK_CLI" --help
for command in $("$MORROWDECK_CLI" --help | sed -n '/^Subcommands:/,$p' | grep -oE '^  [a-z]+'); do
    printf '\nmorrowdeck-cli %s:\n' "$command"
    "$MORROWDECK_CLI" "$command" --help | grep -v -e '^Usage:' -e '^Options:' -e '^ *-h,--help' | sed 's/^/  /'
done
