#!/bin/sh
# Checks, without running it, that a 32-bit Windows program's interface functions clean their
# arguments off the stack as stdcall demands: every return of such a function is "ret $N", N the
# bytes of its arguments as abi.h declares them (4 a pointer or 32-bit integer; a plain "ret"
# for none). A function that lost BRV_CALL still links under its undecorated name and returns
# with a plain "ret": its caller's stack is then off by N bytes after every call.
#   check_stdcall_returns.sh OBJDUMP HEADER BINARY [NAME[=DECLARATION] ...]
# NAME is an export of BINARY or a function in its symbol table (matched by its unqualified
# name); DECLARATION is the function pointer type or field that declares it in HEADER
# ("(BRV_CALL *DECLARATION)(...)"), T<NAME> when left out. Without names: every export of BINARY.
set -eu
objdump=$1
header=$2
binary=$3
shift 3
nm=${objdump%objdump}nm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$objdump" -p "$binary" >"$work/headers"
image_base=$(sed -n 's/^ImageBase[[:space:]]*//p' "$work/headers")
# The export table: "RVA NAME" per export (the name table's index is the address table's).
awk '
    /^Export Address Table -- Ordinal Base/ { addresses = 1; next }
    addresses && NF == 0 { addresses = 0 }
    addresses && /Export RVA/ { gsub(/[][]/, " "); rva[$1] = $4 }
    /^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
    names && NF == 0 { names = 0 }
    names { gsub(/[][]/, " "); print rva[$1], $2 }' "$work/headers" >"$work/exports"
# Code symbols by address (to find where a function ends), and demangled for lookups by name.
"$nm" -n "$binary" | awk '$2 ~ /^[tT]$/ { print $1 }' | sort -u >"$work/starts"
"$nm" -n -C "$binary" | awk '$2 ~ /^[tT]$/' >"$work/symbols"
# The header on one line without comments, for the declarations' argument lists.
sed 's@/\*.*\*/@@g; s@//.*$@@' "$header" | tr '\n' ' ' | tr -s ' ' >"$work/header"

[ $# -gt 0 ] || set -- $(awk '{ print $2 }' "$work/exports")
[ $# -gt 0 ] || { echo "$binary exports nothing"; exit 1; }

ret_of() {
    if [ "$1" -eq 0 ]; then echo "a plain ret"; else printf 'ret $0x%x\n' "$1"; fi
}

failed=0
for entry in "$@"; do
    name=${entry%%=*}
    declaration=T$name
    [ "$entry" = "$name" ] || declaration=${entry#*=}
    arguments=$(sed -n "s/.*(BRV_CALL \*$declaration)(\([^)]*\)).*/\1/p" "$work/header")
    if [ -z "$arguments" ]; then
        echo "$name: no declaration \"(BRV_CALL *$declaration)(...)\" in $header"
        failed=1
        continue
    fi
    # Every argument of the interface is a pointer or a 32-bit integer: 4 bytes on the stack.
    if printf '%s' "$arguments" | grep -Eq 'int64|double|long long|\.\.\.'; then
        echo "$name: $declaration takes ($arguments): arguments of other sizes are not measured"
        failed=1
        continue
    elif [ "$(echo "$arguments" | tr -d ' ')" = void ]; then
        bytes=0
    else
        bytes=$((4 * ($(printf '%s' "$arguments" | tr -cd ',' | wc -c) + 1)))
    fi

    rva=$(awk -v n="$name" '$2 == n { print $1 }' "$work/exports")
    if [ -n "$rva" ]; then
        start=$(printf '%08x' $((0x$image_base + 0x$rva)))
    else
        start=$(awk -v n="$name" '{
                symbol = $0; sub(/^[^ ]+ [^ ]+ /, "", symbol); sub(/@[0-9]+$/, "", symbol)
                sub(/\([^()]*\)( const)?$/, "", symbol); sub(/.*::/, "", symbol)
                sub(/^_/, "", symbol)
                if (symbol == n) print $1 }' "$work/symbols" | sort -u)
        case $start in
        "") echo "$name: neither an export nor a function of $binary"; failed=1; continue ;;
        *[!0-9a-f]*) echo "$name: names more than one function of $binary"; failed=1; continue ;;
        esac
    fi
    stop=$(awk -v s="$start" 'tolower($1) > tolower(s) { print $1; exit }' "$work/starts")
    [ -n "$stop" ] || stop=$(printf '%08x' $((0x$start + 4096)))

    "$objdump" -d --no-show-raw-insn --start-address=0x"$start" --stop-address=0x"$stop" \
        "$binary" >"$work/code"
    # The immediate of every return ("ret" alone counts as 0).
    returns=$(awk '
        $2 ~ /^(rep[a-z]*|bnd)$/ { $2 = $3; $3 = $4 }
        $2 == "ret" || $2 == "retl" { print ($3 ~ /^\$0x/ ? substr($3, 4) : "0") }' "$work/code" |
        while read -r hex; do echo $((0x$hex)); done | sort -un | tr '\n' ' ')
    if [ -z "$returns" ]; then
        echo "$name: no return found at 0x$start..0x$stop"
        failed=1
    elif [ "$returns" != "$bytes " ]; then
        echo "$name: returns with $(ret_of ${returns%% *}), expected $(ret_of $bytes):" \
            "$declaration takes ($arguments)"
        failed=1
    else
        echo "$name: $(ret_of $bytes) ($declaration: $arguments)"
    fi
done
exit $failed
