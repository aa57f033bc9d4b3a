#!/usr/bin/env bash
# The manual page is well-formed roff and documents every option that --help lists in the page's
# language.
#   manual_page_test.sh PAGE PROGRAM LOCALE
set -uo pipefail
page=$1 program=$2 locale=$3
command -v groff >/dev/null || { echo "SKIPPED: groff is not installed (tools/install-deps.sh --tests)"; exit 77; }

warnings=$(LC_ALL=C.UTF-8 groff -man -K utf8 -Tutf8 -ww -z "$page" 2>&1)
[[ -z $warnings ]] || { echo "FAILED: groff warns about $page:"; echo "$warnings"; exit 1; }

options=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG="$locale" \
              "$program" --help | grep -o -- '--[a-z]\+' | sort -u)
[[ -n $options ]] || { echo "FAILED: --help lists no options"; exit 1; }
failed=0
for option in $options; do
    # In roff source each hyphen of an option is written \-.
    grep -qF -- "${option//-/\\-}" "$page" || { echo "FAILED: $option is not in $page"; failed=1; }
done
exit $failed
