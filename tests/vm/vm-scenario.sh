#!/bin/bash
# vm-scenario.sh CACHE GUEST_DIR CHIP SCENARIO
#
# Boots Debian's kernel in QEMU (TCG) with one emulated watchdog chip and plays one scenario
# of our device path inside it (guest/init.sh, tolv-vm-guest), then checks what the serial
# console told against the driver's rules. CHIP: esb (i6300esb on the pc machine) or tco (the
# ICH9 TCO timer of q35). SCENARIO: healthy, close, nowayout, reboot (esb only).
# CACHE keeps the kernel (fetched once with apt-get download) and the initramfs. Exit 0 pass,
# 1 fail, 77 skip (something needed is missing; the message names it).
set -u
cache=$1 guest_dir=$2 chip=$3 scenario=$4
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; failed=1; }
failed=0

# The countdown of every scenario: short, to keep the machines brief.
countdown=3
reload=1
# Kicks of the healthy scenario: on the i6300esb enough for the lateness figures (>= 100); on
# the TCO timer three countdowns.
healthy_kicks=$([ "$chip" = esb ] && echo 100 || echo $((3 * countdown / reload)))
# A countdown each driver refuses: the i6300esb takes 1..2046 s; the TCO driver counts 0.6 s
# ticks and refuses fewer than 4 of them, so 2 s (3 ticks) is too short.
refused=$([ "$chip" = esb ] && echo 2047 || echo 2)

# Seconds from the last kick to the reset, by the driver's rules and QEMU's model of the chip.
reset_after() {
    if [ "$chip" = esb ]; then
        # i6300esb: the driver writes countdown << 9 into each of the two stages; QEMU counts a
        # stage as preload << 15 PCI clocks of 30 ns, and resets at the end of the second.
        awk -v c="$countdown" 'BEGIN { printf "%.3f", 2 * c * 512 * 32768 * 30e-9 }'
    else
        # TCO v2: the driver asks for floor(countdown / 0.6 s) ticks and halves them only when
        # the TCO SMI is off; the machine's firmware (SeaBIOS) leaves it on and its SMI handler
        # does not restart, so QEMU reloads after the first expiry and resets on the second.
        awk -v c="$countdown" 'BEGIN { printf "%.3f", 2 * int(c * 10 / 6) * 0.6 }'
    fi
}

need_tools() {
    local tool
    for tool in qemu-system-x86_64 cpio gzip dpkg-deb apt-get apt-cache flock timeout; do
        command -v "$tool" > /dev/null || skip "$tool is not installed (scripts/install-deps)"
    done
    busybox=$(command -v busybox) || skip "busybox is not installed (busybox-static)"
    ldd "$busybox" > /dev/null 2>&1 && skip "$busybox is not the static busybox (busybox-static)"
    for tool in tolv-vm-guest libtlacpi.so; do
        [ -e "$guest_dir/$tool" ] || skip "$guest_dir/$tool is not built"
    done
}

# The kernel and its watchdog modules, fetched once per build tree.
modules="watchdog i6300esb lpc_ich iTCO_vendor_support intel_pmc_bxt iTCO_wdt"
prepare_kernel() {
    local kernel=$cache/kernel
    [ -e "$kernel/ready" ] && return
    local package
    package=$(apt-cache depends linux-image-amd64 2> /dev/null \
        | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    [ -n "$package" ] || skip "apt knows no linux-image-<abi>-amd64 (apt-cache depends linux-image-amd64)"
    rm -rf "$kernel" "$cache/download" && mkdir -p "$kernel" "$cache/download"
    (cd "$cache/download" && apt-get download "$package" > download.log 2>&1) \
        || skip "apt-get download $package failed: $(tail -n 2 "$cache/download/download.log")"
    dpkg-deb -x "$cache"/download/*.deb "$cache/download/tree" \
        || skip "dpkg-deb cannot unpack $package"
    cp "$cache"/download/tree/boot/vmlinuz-* "$kernel/vmlinuz" || skip "$package has no vmlinuz"
    local module file
    for module in $modules; do
        file=$(find "$cache/download/tree/lib/modules" -name "$module.ko*" | head -n 1)
        [ -n "$file" ] || skip "$package has no $module module"
        case "$file" in
        *.xz) xz -dc "$file" > "$kernel/$module.ko" ;;
        *.zst) zstd -qdc "$file" > "$kernel/$module.ko" ;;
        *) cp "$file" "$kernel/$module.ko" ;;
        esac || skip "cannot unpack $file"
    done
    echo "$package" > "$kernel/ready"
    rm -rf "$cache/download"
}

# Debian's bzImage is xz-compressed, and decompressing it under TCG costs some 10 s a boot. The
# kernel also has a PVH entry, through which QEMU boots the uncompressed ELF image directly; it
# is unpacked once from the xz stream inside vmlinuz. Without it the bzImage is booted.
prepare_elf_kernel() {
    local kernel=$cache/kernel offset
    [ -e "$kernel/vmlinux" ] && return
    offset=$(LC_ALL=C grep -obUa $'\xfd''7zXZ' "$kernel/vmlinuz" | head -n 1 | cut -d: -f1)
    [ -n "$offset" ] || return
    tail -c +$((offset + 1)) "$kernel/vmlinuz" | xz -dc --single-stream > "$kernel/vmlinux.new" \
        2> /dev/null
    if readelf -n "$kernel/vmlinux.new" 2> /dev/null | grep -q "^ *Xen .*0x00000012"; then
        mv "$kernel/vmlinux.new" "$kernel/vmlinux"
    else
        rm -f "$kernel/vmlinux.new"
    fi
}

# busybox, our guest program and library, the shared libraries they load, the modules.
prepare_initramfs() {
    local image=$cache/initramfs.cpio.gz source
    if [ -e "$image" ]; then
        local stale=0
        for source in "$guest_dir/tolv-vm-guest" "$guest_dir/libtlacpi.so" "$here/guest/init.sh" \
            "$cache/kernel/ready"; do
            [ "$source" -nt "$image" ] && stale=1
        done
        [ $stale = 0 ] && return
    fi
    local root=$cache/root library
    rm -rf "$root" && mkdir -p "$root/bin" "$root/opt/tolv" "$root/lib/tolv-modules"
    cp "$busybox" "$root/bin/busybox"
    cp "$here/guest/init.sh" "$root/init" && chmod 755 "$root/init"
    for source in tolv-vm-guest libtlacpi.so; do
        # Without their debugging sections they are a tenth of the size; a plain copy also works.
        strip --strip-debug -o "$root/opt/tolv/$source" "$guest_dir/$source" 2> /dev/null \
            || cp "$guest_dir/$source" "$root/opt/tolv/"
    done
    cp "$cache"/kernel/*.ko "$root/lib/tolv-modules/"
    for library in $(ldd "$guest_dir/tolv-vm-guest" "$guest_dir/libtlacpi.so" \
        | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// && $2 ~ /^\(/ { print $1 }' \
        | sort -u); do
        mkdir -p "$root$(dirname "$library")" && cp -L "$library" "$root$library"
    done
    (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) > "$image.new" \
        && mv "$image.new" "$image"
    rm -rf "$root"
}

# Boots the machine; the console goes to $log, each line after the host's time of arrival.
boot() {
    local limit=$1 machine append
    if [ "$chip" = esb ]; then
        machine=(-machine pc -device i6300esb)
    else
        machine=(-machine q35 -global ICH9-LPC.noreboot=false)
    fi
    append="console=ttyS0 quiet panic=-1 tolv.chip=$chip tolv.scenario=$scenario"
    append+=" tolv.countdown=$countdown tolv.kicks=$healthy_kicks tolv.refused=$refused"
    # A reset ends QEMU, except in the scenario that is to see the next boot.
    local reboot=(-no-reboot)
    [ "$scenario" = reboot ] && reboot=()
    local image=$cache/kernel/vmlinux
    [ -e "$image" ] || image=$cache/kernel/vmlinuz
    log=$cache/$chip-$scenario.log
    started=$EPOCHREALTIME
    timeout -k 5 "$limit" nice -n 10 qemu-system-x86_64 "${machine[@]}" -accel tcg -m 256 -smp 1 \
        -display none -monitor none -serial stdio -no-user-config -nodefaults "${reboot[@]}" \
        -action watchdog=reset -kernel "$image" -initrd "$cache/initramfs.cpio.gz" \
        -append "$append" < /dev/null 2> "$log.stderr" \
        | while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "${line%$'\r'}"; done \
        > "$log"
    qemu_status=${PIPESTATUS[0]}
    ended=$EPOCHREALTIME
    sed 's/^[0-9.]* /  | /' "$log"
}

# The host time of the first console line containing the text; empty when there is none.
time_of() { awk -v text="$1" 'index($0, text) { print $1; exit }' "$log"; }
has() { grep -qF -- "$1" "$log"; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
within() { awk -v x="$1" -v low="$2" -v high="$3" 'BEGIN { exit !(x >= low && x <= high) }'; }

# The guest lived to the end of its scenario and QEMU ended by its power-off.
expect_survived() {
    has "tolv-vm: end" || fail "the guest did not live to the end of the scenario"
    [ "$qemu_status" = 0 ] || fail "QEMU ended with status $qemu_status"
}

# The watchdog reset the guest within the window after the console line: the driver's time
# from the last kick, which came at most `before` seconds before the line.
expect_reset_after() {
    local what=$1 line=$2 before=$3 from
    from=$(time_of "$line")
    [ -n "$from" ] || { fail "no \"$line\" on the console"; return; }
    has "tolv-vm: end" && fail "the guest lived on after $what: no reset"
    [ "$qemu_status" = 0 ] || fail "QEMU did not end by the reset (status $qemu_status)"
    local rule took low high
    rule=$(reset_after)
    took=$(seconds "$from" "$ended")
    low=$(awk -v r="$rule" -v k="$before" 'BEGIN { printf "%.2f", r - k }')
    high=$(awk -v r="$rule" 'BEGIN { printf "%.2f", r + 0.5 }')
    echo "MEASURED $chip $what -> reset: $took s (driver's rule $rule s after the last kick;" \
        "window $low..$high s)"
    within "$took" "$low" "$high" || fail "$what -> reset took $took s, outside $low..$high s"
}

# One field of an object of each JSON line of the status command, in console order ("null"
# where unknown): status_field OBJECT KEY.
status_field() {
    grep -o 'tolv-vm: status-json .*' "$log" | grep -o "\"$1\": *{[^}]*}" \
        | grep -o "\"$2\": *[^,}]*" | sed 's/^[^:]*: *//; s/"//g' | tr '\n' ' '
}

# The status command, run twice while the stopped kicker's countdown ran out: the TCO driver
# tells the time left, and it falls; the i6300esb driver cannot tell it.
check_time_left() {
    local left running
    left=$(status_field device time_left)
    running=$(status_field device running)
    echo "MEASURED $chip status time left after the stop: $left"
    [ "$running" = "true true " ] || fail "the status command did not see the watchdog run ($running)"
    set -- $left
    if [ "$chip" = tco ]; then
        [ $# = 2 ] && [ "$1" != null ] && [ "$2" != null ] && [ "$2" -lt "$1" ] \
            || fail "the status command's time left did not fall: $left"
    else
        [ "$left" = "null null " ] || fail "the i6300esb cannot tell the time left, yet: $left"
    fi
}

# Healthy under load for the kicks asked for (no reset meanwhile), then stopped: reset.
check_healthy() {
    local minimum=$((3 * countdown / reload)) kicks
    kicks=$(grep -o 'tolv-vm: lateness kicks=[0-9]*' "$log" | grep -o '[0-9]*$')
    [ "${kicks:-0}" -ge "$minimum" ] || fail "${kicks:-no} kicks, fewer than three countdowns"
    grep -o 'tolv-vm: lateness.*' "$log" | sed "s/^tolv-vm: /MEASURED $chip kick /"
    check_time_left
    # The stop comes right after a kick; at most one reload period has passed since.
    expect_reset_after "stop" "tolv-vm: stopping after $healthy_kicks kicks" "$reload"
}

check_close() {
    expect_survived
    has "tolv-vm: second opener: Watchdog device /dev/watchdog is held by another program" \
        || fail "the second opener was not told that /dev/watchdog is busy"
    has "tolv-vm: retime $refused: Watchdog device /dev/watchdog refused a countdown of $refused s" \
        || fail "the refused countdown of $refused s was not reported"
    # After the refusal the library and the driver agree on the countdown held: the first one.
    awk '/tolv-vm: retime/ { after = 1 } after && /tolv-vm: status/ { print; exit }' "$log" \
        | grep -q "library-timeout=$countdown library-bootstatus=[0-9]* driver-timeout=$countdown " \
        || fail "after the refusal the library's countdown differs from the driver's ($countdown s)"
    has "tolv-vm: state after close: inactive" || fail "the driver still counts after our close"
    local closed lived
    closed=$(time_of "tolv-vm: closed")
    [ -n "$closed" ] && has "tolv-vm: end" || return
    lived=$(seconds "$closed" "$(time_of "tolv-vm: end")")
    echo "MEASURED $chip lived $lived s after the close (countdown $countdown s)"
    within "$lived" $((2 * countdown)) 1000 || fail "lived only $lived s after the close"
}

check_nowayout() {
    has "tolv-vm: close refused: Watchdog device /dev/watchdog cannot be switched off (nowayout is set)" \
        || fail "the refused close was not reported"
    # The kicks went on after the refusal for more than a countdown.
    local refused_at last
    refused_at=$(grep -n "tolv-vm: close refused" "$log" | head -n 1 | cut -d: -f1)
    last=$(sed -n "${refused_at:-1},\$p" "$log" | grep -o 'tolv-vm: kicks [0-9]*' | tail -n 1 \
        | grep -o '[0-9]*$')
    echo "MEASURED $chip kicks after the refused close: $(( ${last:-3} - 3 ))"
    [ $(( ${last:-3} - 3 )) -gt $((countdown / reload)) ] \
        || fail "the kicks did not go on for a countdown after the refused close"
    # The kernel kicks once more when the killed process's device is released without the
    # magic character ("watchdog did not stop!"), so the countdown restarts at the kill; the
    # line comes a little after it.
    expect_reset_after "kill" "tolv-vm: killed" 0.25
}

check_reboot() {
    [ "$(grep -c 'tolv-vm: boot ' "$log")" = 2 ] || fail "not two boots"
    grep -q "tolv-vm: status library-timeout=$countdown library-bootstatus=0 " "$log" \
        || fail "the first boot's library did not see a clean boot status"
    has "tolv-vm: stopping after 1 kicks" || fail "the first boot did not stop its kicks"
    grep -q "tolv-vm: status library-timeout=$countdown library-bootstatus=32 " "$log" \
        || fail "the second boot's library was not told of the watchdog's restart (32)"
    local causes
    causes=$(status_field last_restart cause)
    echo "MEASURED $chip status command's last restart cause, first and second boot: $causes"
    [ "$causes" = "other watchdog " ] \
        || fail "the status command's causes were '$causes', not other then watchdog"
    has "tolv-vm: notice The last restart was caused by the watchdog." \
        || fail "the program's start did not tell of the watchdog's restart"
    [ "$(grep -c 'tolv-vm: notice none' "$log")" = 1 ] \
        || fail "the restart was not told exactly once"
    grep -q 'tolv-vm: trace .*watchdog' "$log" || fail "no trace line of the watchdog's restart"
    expect_survived
}

main() {
    case "$chip:$scenario" in
    esb:healthy | esb:close | esb:nowayout | esb:reboot) ;;
    tco:healthy | tco:close | tco:nowayout) ;;
    *) echo "usage: vm-scenario.sh CACHE GUEST_DIR esb|tco healthy|close|nowayout|reboot"
       exit 2 ;;
    esac
    need_tools
    mkdir -p "$cache"
    exec 9> "$cache/lock"
    flock 9
    prepare_kernel
    prepare_elf_kernel
    prepare_initramfs
    # Generous: a boot takes 10 to 30 s on a busy two-core machine.
    local limit=90
    [ "$scenario" = reboot ] && limit=150
    [ "$scenario" = healthy ] && limit=$((60 + healthy_kicks * 3 / 2))
    boot "$limit"
    [ "$qemu_status" = 124 ] && fail "the machine did not end within $limit s"
    has "Kernel panic" && fail "the guest's kernel panicked"
    has "tolv-vm: boot " || fail "the guest did not boot to our scenario"
    has "tolv-vm: FAIL" && fail "$(grep -o 'tolv-vm: FAIL.*' "$log" | head -n 1)"
    case "$scenario" in
    healthy) check_healthy ;;
    close) check_close ;;
    nowayout) check_nowayout ;;
    reboot) check_reboot ;;
    esac
    echo "first console line after $(seconds "$started" "$(head -n 1 "$log" | cut -d' ' -f1)") s," \
        "machine ended after $(seconds "$started" "$ended") s"
    [ $failed = 0 ] && echo "PASS $chip $scenario"
    exit $failed
}

main
