#!/bin/busybox sh
# The guest's first process: loads the chip's watchdog driver and plays one scenario with our
# device path (tolv-vm-guest). Kernel command line: tolv.chip=esb|tco tolv.scenario=NAME
# tolv.countdown=SECONDS tolv.kicks=N tolv.refused=SECONDS. Every line for the harness starts
# with "tolv-vm: "; "tolv-vm: end" means the guest lived to the end of its scenario.
/bin/busybox mkdir -p /proc /sys /dev /tmp
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

say() { echo "tolv-vm: $*"; }
# The program's machine-wide folders (settings store, trace log) live below TOLV_ROOT.
export TOLV_ROOT=/tmp/tolv-root
mkdir -p $TOLV_ROOT
tolv=/opt/tolv/tolv-vm-guest
uptime_s() { cut -d' ' -f1 /proc/uptime; }
arg() { tr ' ' '\n' < /proc/cmdline | sed -n "s/^tolv\.$1=//p"; }
end() { say "end $(uptime_s)"; poweroff -f; sleep 60; }

chip=$(arg chip)
scenario=$(arg scenario)
countdown=$(arg countdown)
kicks=$(arg kicks)
refused=$(arg refused)
nowayout=0
[ "$scenario" = nowayout ] && nowayout=1

modules=/lib/tolv-modules
insmod $modules/watchdog.ko
if [ "$chip" = esb ]; then
    insmod $modules/i6300esb.ko nowayout=$nowayout
else
    for m in lpc_ich iTCO_vendor_support intel_pmc_bxt; do insmod $modules/$m.ko; done
    insmod $modules/iTCO_wdt.ko nowayout=$nowayout
fi
w=/sys/class/watchdog/watchdog0
if [ ! -c /dev/watchdog ]; then
    say "FAIL no /dev/watchdog after loading the $chip driver"
    end
fi
say "boot uptime=$(uptime_s) identity=$(cat $w/identity) state=$(cat $w/state)" \
    "timeout=$(cat $w/timeout) bootstatus=$(cat $w/bootstatus) nowayout=$(cat $w/nowayout)"

guest="$tolv run $countdown 1"
# Prints the guest's uptime every 200 ms for the given seconds; a reset cuts it short.
alive() {
    local until=$(( $(cut -d. -f1 /proc/uptime) + $1 ))
    while [ "$(cut -d. -f1 /proc/uptime)" -lt "$until" ]; do
        say "alive $(uptime_s)"
        usleep 200000
    done
}

case "$scenario" in
healthy)
    # Full load at normal priority beside the kick thread (two busy loops on the one CPU), then
    # the kicker stopped; the status command looks twice while the countdown runs out.
    busy=
    for i in 1 2; do (while :; do :; done) & busy="$busy $!"; done
    $guest --stop-after "$kicks" &
    pid=$!
    while [ "$(cut -d' ' -f3 /proc/$pid/stat)" != T ]; do usleep 50000; done
    # The load steps back so that both looks come before the countdown runs out.
    renice -n 19 -p $busy > /dev/null
    $tolv status --json
    usleep 1500000
    $tolv status --json
    alive $((countdown * 4))
    ;;
close)
    $guest --second --retime "$refused" --kicks 3
    say "state after close: $(cat $w/state)"
    alive $((countdown * 2 + 1))
    ;;
nowayout)
    $guest --kicks 3 &
    pid=$!
    # Past the refused close by more than a countdown: only the kicks keep the guest alive.
    sleep $((4 + countdown * 2))
    kill -KILL $pid
    say "killed $(uptime_s)"
    alive $((countdown * 3))
    ;;
reboot)
    # The driver's own boot status picks the boot; the library's is what the harness checks.
    $tolv status --json
    if [ "$(cat $w/bootstatus)" = 0 ]; then
        $guest --stop-after 1
    else
        # The program's start tells of the watchdog's restart once.
        $tolv notice
        $tolv notice
        sed 's/^/tolv-vm: trace /' $TOLV_ROOT/var/lib/TOLV/TolvWatchDogTimer/trace.log
        $guest --kicks 2
    fi
    ;;
*)
    say "FAIL unknown scenario '$scenario'"
    ;;
esac
end
