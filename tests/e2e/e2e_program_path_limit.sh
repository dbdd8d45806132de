#!/bin/bash
# -load and the length of the program's own path: the program keeps it in 512 bytes, so a
# path of 511 characters is registered and one of 512 is refused with "Unable to load",
# after the settings word has been stored all the same (storing comes before installing).
#
#   e2e_program_path_limit.sh BITS PROGRAM LIBRARY TEMPLATE CASE_DIR
#
# Wine runs a program from a Unix path as Z:\ plus that path, so folders of the right
# depth under CASE_DIR give the exact lengths.
set -u
. "$(dirname "$0")/e2e_lib.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS PROGRAM LIBRARY TEMPLATE CASE_DIR"
e2e_begin_case "$1" "$4" "$5"
program_file="$2" library_file="$3"

# Makes a folder under CASE_DIR in which RUZivEr2.exe has a Windows path of LENGTH
# characters, installs the program there, and prints the program's Unix path.
#   long_program LENGTH
long_program() {
    local length="$1"
    local folder="$E2E_DIR/p$length"
    # "Z:" + folder + "/RUZivEr2.exe"; the rest is made of components of up to 150
    # characters, each with its '/'. A remainder of one character cannot be a component, so
    # the base name takes it.
    local rest=$(( length - 2 - ${#folder} - 13 ))
    if (( rest % 151 == 1 )); then
        folder+=x
        rest=$(( rest - 1 ))
    fi
    while (( rest > 0 )); do
        local size=$(( rest > 151 ? 150 : rest - 1 ))
        folder+=/$(printf '%*s' "$size" '' | tr ' ' d)
        rest=$(( rest - size - 1 ))
    done
    e2e_install_program "$folder" "$program_file" "$library_file" > /dev/null
    local windows_path
    windows_path=$(e2e_windows_path "$folder/RUZivEr2.exe")
    (( ${#windows_path} == length )) || wine_fail "made a path of ${#windows_path} characters, not $length"
    echo "$folder/RUZivEr2.exe"
}

e2e_step "a path of 512 characters: refused, the word stored, nothing registered"
program=$(long_program 512) || exit 1
e2e_command_run load-512 "$program" -load L 120
e2e_expect_bytes "$E2E_DIR/load-512.out" 'Unable to load %s - Insufficient buffer. (0x7a)\r\n' "$E2E_DISPLAY"
e2e_expect_reg reg-512 "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0x78
e2e_reg_value image-512 "$E2E_SERVICE_KEY" ImagePath && wine_fail "a service was registered from a 512-character path"

e2e_step "a path of 511 characters: registered as it is"
program=$(long_program 511) || exit 1
e2e_command_run load-511 "$program" -load L 130
e2e_expect_loaded "$E2E_DIR/load-511.out"
e2e_expect_reg reg-511 "$E2E_SETTINGS_KEY" SvcInfo REG_DWORD 0x82
e2e_expect_reg image-511 "$E2E_SERVICE_KEY" ImagePath REG_SZ "$(e2e_windows_path "$program")"

e2e_expect_no_crash
