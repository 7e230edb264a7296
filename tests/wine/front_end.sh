#!/usr/bin/env bash
# The Windows build's front end under Wine: banner, usage, unknown arguments
# and exit statuses, exactly as a user sees them.
. "$(dirname "$0")/lib.sh"

run "no arguments: banner, usage, 255" 255 "$work" < <(banner; usage)
run "an unknown argument each: 254" 254 "$work" /C /X -s < <(banner;
    echo "ERROR: Unknown parameter.[/X]"; echo "ERROR: Unknown parameter.[-s]"; usage)
run "/P= alone: banner only, 0" 0 "$work" /P=SomeId < <(banner)
run "/P= with nothing after it is unknown" 254 "$work" /P= < <(banner; echo "ERROR: Unknown parameter.[/P=]"; usage)
run "/S wins over /C; an unknown ProgID is 254" 254 "$work" /s /C /P=NoSuchId < <(banner;
    echo "Provider DllSurrogate validation. "; echo "ERROR: Invalid ProgID. [NoSuchId]"; echo; usage)
finish
