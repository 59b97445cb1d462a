#!/usr/bin/env bash
# The bash completion offers exactly the subcommands and long options the program's help
# lists, so it cannot fall behind a new option. Skipped (77) without bash-completion.
# completion_test.sh PROGRAM COMPLETION_FILE
set -o pipefail
program="$1"
framework=/usr/share/bash-completion/bash_completion
[ -r "$framework" ] || { echo "bash-completion is not installed"; exit 77; }
source "$framework"
source "$2"

# Candidates for the command line "morrowdeck-cli WORDS... CURRENT", sorted, one a line.
complete_words() {
    COMP_WORDS=(morrowdeck-cli "$@")
    COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _morrowdeck_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
long_options() { "$@" --help | grep -oE '^ +(-[a-z],)?--[a-z-]+' | grep -oE -- '--[a-z-]+' | sort -u; }

failed=0
expect() {  # expect WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "completion of $1 differs from the help (< help, > completion):"
        diff <(echo "$2") <(echo "$3") || true
        failed=1
    fi
}

commands="$("$program" --help | sed -n '/^Subcommands:/,$p' | grep -oE '^  [a-z]+' | tr -d ' ' | sort)"
[ -n "$commands" ] || { echo "no subcommands in the help"; exit 1; }
expect "the first word" "$commands" "$(complete_words '' | grep -v '^-')"
expect "the global options" "$(long_options "$program")" "$(complete_words -- | grep '^--')"
for command in $commands; do
    expected="$( (long_options "$program" "$command"; printf '%s\n' --quiet --verbose) | sort -u)"
    expect "$command" "$expected" "$(complete_words "$command" -- | grep '^--')"
done
exit "$failed"
