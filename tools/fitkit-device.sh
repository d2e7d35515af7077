#!/usr/bin/env bash
# fitkit-device: makes a device root for shellfit and imagefit (device.ini,
# registry.reg and the file system's folders) from a few options. Installed
# as fitkit-device; see fitkit-device(1).
set -eEuo pipefail
# A command that fails (a folder that cannot be made or written) is no usage
# error: 7, as fitkit(1) says for other failures; its own message stands above.
trap 'echo "$me: could not make the device root ${root:-}" >&2; exit 7' ERR

me=fitkit-device
version=0.12.0  # the kit's version; cmake/packaging.cmake checks it

usage() {
  cat <<'USAGE'
Usage: fitkit-device create DIR [OPTION]...
Makes DIR a device root: DIR/device.ini (simulated hardware), DIR/registry.reg
(HKEY_LOCAL_MACHINE) and the folders DIR/fs/<flash folder>, DIR/fs/<storage card>
and DIR/fs/Windows. Without options it is the kit's demo device, without files.

Registry
  --model NAME           Ident\Model, names the package "<NAME> SHELL.ZIP" [KTR 60]
  --os-version TEXT      Ident\Version, the installed OS version [V1.0.5]
  --flash-profile NAME   FlashDrv or NewFlashDrv: the storage profile that names
                         the flash drive [FlashDrv]
  --flash-folder NAME    the flash drive's folder [Flash Disk]
  --update-key FILE.pub  a minisign public key the device trusts for signed
                         updates (Ident\UpdateKeys); give it again for more
                         keys. With a key, updates must be signed
  --registry FILE.reg    start from this registry export; the options above,
                         when given, are added after it and win
Hardware (device.ini)
  --screen WxH           screen size in pixels [480x272]
  --scroll N             scroll bar height, the dialog's margin unit [13]
  --board-revision N     what the flash update driver reports [3]
  --ac-line STATE        online, offline or unknown (or 1, 0, 255) [online]
  --capacity BYTES       what all files under fs/ may hold; K, M, G suffixes;
                         0 for no limit [0]
  --no-flash-driver      the flash update driver SCD1 is absent
  --no-power-driver      the power driver PWR1 is absent
  --fail CODES           control codes the drivers answer with failure,
                         comma-separated hex (0x80012004,0x8001202C)
  --kernel-fail NAMES    kernel functions that fail, comma-separated
                         (GetSystemMemoryDivision,SetSystemMemoryDivision)
  --no-coredll           the memory-division and restart functions are missing
  --no-toolhelp          no process list (shellfit ends no programs)
  --store-pages N, --program-pages N, --page-size N
                         the memory division [2048, 6144, 4096]
  --set-result N         what SetSystemMemoryDivision answers [0]
  --code-page NAME       the ANSI code page, any name iconv knows [CP1252]
Folders
  --storage-card NAME    the storage card's folder [Storage Card]
Other
  --force                rewrite device.ini and registry.reg of an existing
                         device root (files under fs/ are never touched)
  -h, --help             this text;  --version  the kit's version
Then put a shell package on the storage card (DIR/fs/Storage Card/) or an image
set in a folder there, and run FITKIT_DEVICE=DIR shellfit or imagefit.
USAGE
}

fail() {
  echo "$me: $*" >&2
  exit 2
}

# Option values, with the demo device's as defaults.
model="KTR 60" os_version="V1.0.5" flash_profile="FlashDrv" flash_folder="Flash Disk"
registry_file="" model_set="" os_version_set="" profile_set="" folder_set=""
width=480 height=272 scroll=13 board=3 ac_line=1 capacity=0
scd1=flash pwr1=power fail_codes="" kernel_fail="" coredll=yes toolhelp=yes
store_pages=2048 program_pages=6144 page_size=4096 set_result=0 code_page=CP1252
storage_card="Storage Card" force="" update_keys=""

number() {  # option value
  [[ $2 =~ ^(0[xX][0-9a-fA-F]+|[0-9]+)$ ]] || fail "$1 needs a number, not '$2'"
}

parse_capacity() {
  local value=$1 factor=1
  case "$value" in
    *[kK]) factor=1024; value=${value%?} ;;
    *[mM]) factor=$((1024 * 1024)); value=${value%?} ;;
    *[gG]) factor=$((1024 * 1024 * 1024)); value=${value%?} ;;
  esac
  [[ $value =~ ^[0-9]+$ ]] || fail "--capacity needs a number of bytes, not '$1'"
  capacity=$((value * factor))
}

parse_ac_line() {
  case "$1" in
    online | 1) ac_line=1 ;;
    offline | 0) ac_line=0 ;;
    unknown | 255) ac_line=255 ;;
    *) fail "--ac-line is online, offline or unknown, not '$1'" ;;
  esac
}

parse_screen() {
  [[ $1 =~ ^([0-9]+)[xX]([0-9]+)$ ]] || fail "--screen needs WIDTHxHEIGHT, not '$1'"
  width=${BASH_REMATCH[1]} height=${BASH_REMATCH[2]}
  ((width >= 1 && width <= 32767 && height >= 1 && height <= 32767)) ||
    fail "--screen: width and height lie in 1..32767"
}

# The key line of a minisign public key file ("RW" and 54 more base64 digits).
add_update_key() {
  [[ -f $1 ]] || fail "--update-key: no file '$1'"
  local line
  line=$(sed 's/\r$//' "$1" | grep -v '^untrusted comment:' | grep -v '^$' || true)
  [[ $line =~ ^RW[A-Za-z0-9+/]{54}$ ]] ||
    fail "--update-key: '$1' is not a minisign public key (make one with minisign -G)"
  update_keys="${update_keys:+$update_keys }$line"
}

# A folder name below fs/: one component, nothing that leads elsewhere.
folder_name() {  # option value
  [[ -n $2 && $2 != *[/\\]* && $2 != . && $2 != .. ]] ||
    fail "$1 needs one folder name (no / or \\), not '$2'"
}

# The options that take a value; any other word is a usage error, said before
# it can be taken for a value.
value_options="--model --os-version --flash-profile --flash-folder --update-key --registry
  --screen --scroll --board-revision --ac-line --capacity --fail --kernel-fail --store-pages
  --program-pages --page-size --set-result --code-page --storage-card"
value_options=$(echo $value_options)
flag_options="--help --force --no-flash-driver --no-power-driver --no-coredll --no-toolhelp"

parse_options() {
  while (($#)); do
    local option=$1
    if [[ $option == --*=* ]]; then  # --name=value: as --name value
      shift
      set -- "${option%%=*}" "${option#*=}" "$@"
      option=$1
      [[ -n $2 ]] || fail "$option needs a value, not an empty word"
      if [[ " $value_options " != *" $option "* ]]; then
        [[ " $flag_options " != *" $option "* ]] || fail "$option takes no value"
        fail "unknown option '$option' (see --help for the options)"
      fi
    fi
    case "$option" in
      -h | --help) usage; exit 0 ;;
      --force) force=1; shift; continue ;;
      --no-flash-driver) scd1=""; shift; continue ;;
      --no-power-driver) pwr1=""; shift; continue ;;
      --no-coredll) coredll=no; shift; continue ;;
      --no-toolhelp) toolhelp=no; shift; continue ;;
    esac
    [[ $option == --* ]] || fail "'$option' is no option; create takes one DIR, then options (see --help)"
    local known=" $value_options "
    [[ $known == *" $option "* ]] || fail "unknown option '$option' (see --help for the options)"
    (($# >= 2)) || fail "$option needs a value (see --help)"
    [[ $2 != --* ]] || fail "$option needs a value, and the next word is the option $2"
    [[ -n $2 ]] || fail "$option needs a value, not an empty word"
    local value=$2
    shift 2
    case "$option" in
      --model) model=$value model_set=1 ;;
      --os-version) os_version=$value os_version_set=1 ;;
      --flash-profile)
        [[ $value == FlashDrv || $value == NewFlashDrv ]] ||
          fail "--flash-profile is FlashDrv or NewFlashDrv, not '$value'"
        flash_profile=$value profile_set=1 ;;
      --flash-folder) folder_name "$option" "$value"; flash_folder=$value folder_set=1 ;;
      --update-key) add_update_key "$value" ;;
      --registry) [[ -f $value ]] || fail "--registry: no file '$value'"; registry_file=$value ;;
      --screen) parse_screen "$value" ;;
      --scroll) number "$option" "$value"; scroll=$value ;;
      --board-revision) number "$option" "$value"; board=$value ;;
      --ac-line) parse_ac_line "$value" ;;
      --capacity) parse_capacity "$value" ;;
      --fail) fail_codes=$value ;;
      --kernel-fail) kernel_fail=$value ;;
      --store-pages) number "$option" "$value"; store_pages=$value ;;
      --program-pages) number "$option" "$value"; program_pages=$value ;;
      --page-size) number "$option" "$value"; page_size=$value ;;
      --set-result) number "$option" "$value"; set_result=$value ;;
      --code-page) code_page=$value ;;
      --storage-card) folder_name "$option" "$value"; storage_card=$value ;;
      *) fail "unknown option '$option' (see --help)" ;;
    esac
  done
  if command -v iconv >/dev/null && ! iconv -f "$code_page" -t UTF-8 </dev/null >/dev/null 2>&1; then
    fail "--code-page: iconv does not know '$code_page'"
  fi
}

write_device_ini() {
  local kernel_fail_line=""
  [[ -z $kernel_fail ]] || kernel_fail_line="fail = $kernel_fail"$'\n'
  cat >"$root/device.ini" <<INI
[screen]
width = $width        ; SM_CXSCREEN
height = $height       ; SM_CYSCREEN
scroll = $scroll        ; SM_CYHSCROLL, the frame's margin unit
[power]
ac_line = $ac_line        ; 0 offline, 1 online, 255 unknown
[board]
revision = $board       ; what the flash update driver reports
[memory]
store_pages = $store_pages
program_pages = $program_pages
page_size = $page_size
set_result = $set_result     ; what SetSystemMemoryDivision answers
[drivers]
SCD1 = $scd1       ; remove a line to make that driver absent
PWR1 = $pwr1
fail = $fail_codes            ; control codes the drivers answer with failure, comma-separated hex
[kernel]
coredll = $coredll      ; no: the memory-division and restart functions are missing
toolhelp = $toolhelp     ; no: no process list (nothing is terminated)
${kernel_fail_line}[locale]
acp = $code_page
[fs]
capacity = $capacity       ; bytes all files under fs/ may hold; 0 = no limit
INI
}

reg_string() {  # text -> "text" with .reg escapes
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}

registry_values() {
  printf '[HKEY_LOCAL_MACHINE\\Ident]\n'
  [[ -n $1 || -n $model_set ]] && printf '"Model"=%s\n' "$(reg_string "$model")"
  [[ -n $1 || -n $os_version_set ]] && printf '"Version"=%s\n' "$(reg_string "$os_version")"
  [[ -z $update_keys ]] || printf '"UpdateKeys"=%s\n' "$(reg_string "$update_keys")"
  if [[ -n $1 || -n $profile_set || -n $folder_set ]]; then
    printf '\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\%s]\n' "$flash_profile"
    printf '"Folder"=%s\n' "$(reg_string "$flash_folder")"
  fi
}

# The export as UTF-8 (a UTF-16 export is converted), so that values can be
# added after it.
copy_registry_export() {
  if [[ $(head -c 2 "$registry_file" | od -An -tx1 | tr -d ' ') == fffe ]]; then
    iconv -f UTF-16 -t UTF-8 "$registry_file" >"$root/registry.reg"
  else
    cat "$registry_file" >"$root/registry.reg"
  fi
  local first
  first=$(head -n 1 "$root/registry.reg" | sed 's/^\xEF\xBB\xBF//; s/\r$//')
  [[ $first == REGEDIT4 || $first == "Windows Registry Editor Version 5.00" ]] ||
    echo "$me: warning: $registry_file does not start with REGEDIT4 or" \
      "'Windows Registry Editor Version 5.00'; the device will refuse it" >&2
}

# The flash drive folder an export names, when no option names one.
exported_flash_folder() {
  sed 's/\r$//' "$root/registry.reg" | awk -v profile="$flash_profile" '
    /^\[/ { key = tolower($0) }
    key == tolower("[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\" profile "]") &&
      tolower($0) ~ /^"folder"="/ {
        value = substr($0, 11); sub(/"[ \t]*(;.*)?$/, "", value); found = value
      }
    END { if (found != "") print found }'
}

write_registry() {
  if [[ -z $registry_file ]]; then
    { printf 'Windows Registry Editor Version 5.00\n\n'; registry_values all; } >"$root/registry.reg"
    return
  fi
  copy_registry_export
  if [[ -n $model_set$os_version_set$profile_set$folder_set$update_keys ]]; then
    { printf '\n; added by fitkit-device\n'; registry_values ""; } >>"$root/registry.reg"
  fi
  if [[ -z $folder_set ]]; then
    local named
    named=$(exported_flash_folder)
    [[ -z $named || $named == *[/\\]* ]] || flash_folder=$named
  fi
}

create() {
  (($# >= 1)) || fail "create needs a folder (see --help)"
  case "$1" in
    -h | --help) usage; exit 0 ;;
    -*) fail "create needs the folder first, then options, not '$1' (see --help)" ;;
  esac
  root=$1
  shift
  parse_options "$@"
  if [[ -e $root/device.ini && -z $force ]]; then
    fail "$root is a device root already (--force rewrites its device.ini and registry.reg)"
  fi
  mkdir -p "$root"
  write_device_ini
  write_registry
  mkdir -p "$root/fs/$flash_folder" "$root/fs/$storage_card" "$root/fs/Windows"
  # The verdict, on standard error as every fitkit command's last line.
  echo "$me: made the device root $root (flash drive \\$flash_folder," \
    "storage card \\$storage_card)" >&2
}

case "${1:-}" in
  create) shift; create "$@" ;;
  -h | --help) usage ;;
  --version) echo "$me (fitkit) $version" ;;
  "") usage >&2; exit 2 ;;
  *) fail "unknown command '$1' (the command is create; see --help)" ;;
esac
