#!/usr/bin/env bash
# korpus's full-screen mode used as a person would: in tmux, keys sent one by
# one, the screen read back after each step.
# usage: interactive_test.sh KORPUS SAMPLE.json
set -euo pipefail
korpus=$1
document=$2
socket="korpus-test-$$"
session=korpus
tmux_() { tmux -L "$socket" "$@"; }
trap 'tmux_ kill-server 2>/dev/null || true' EXIT

screen() { tmux_ capture-pane -p -t "$session"; }
# Waits until the screen shows the text (or fails after a few seconds).
expect() {
  for _ in $(seq 50); do
    if screen | grep -qF -- "$1"; then
      return 0
    fi
    sleep 0.1
  done
  echo "FAILED: the screen does not show: $1"
  echo "--- screen:"
  screen
  exit 1
}
reject() {
  if screen | grep -qF -- "$1"; then
    echo "FAILED: the screen still shows: $1"
    screen
    exit 1
  fi
}
press() { tmux_ send-keys -t "$session" "$@"; sleep 0.2; }

tmux_ new-session -d -s "$session" -x 100 -y 40 "LANG=C.UTF-8 TERM=xterm '$korpus' --interactive '$document'"

expect "Zainstalowano wtyczkę do programu:"
press Enter
expect "Mąka pszenna typ 450, 1 kg MAKA450  SPOZ-0001 2.000"
expect "P łącz  F7 zatwierdź"

press P
expect "Łączenie takich samych pozycji..."
press Enter
expect "Mąka pszenna typ 450, 1 kg MAKA450  SPOZ-0001 5.000"
expect "Cukier biały, 1 kg         CUKIER1  SPOZ-0002 3.000"
expect "52028 messageBox(\"Uwaga\""

# The options dialog, drawn by the host from the plug-in's form: F3 ticks VAT
# invoices off (they are on in the demo options), F12 saves.
press F9
expect "Łączenie pozycji"
expect "[x] F3 Faktury sprzedaży (VAT)"
expect "(*) F8 Zawsze po wybraniu klawisza 'P'"
press F3
expect "[ ] F3 Faktury sprzedaży (VAT)"
press F12
expect "52308 fileWrite(buffer, 8, 1, stream"
# Opened again, it shows what was saved; Esc leaves it.
press F9
expect "[ ] F3 Faktury sprzedaży (VAT)"
press Escape
expect "52026 dialogService"
reject "[F12 OK]"

# The start-up report: everything agrees, so message 5.
press F10
expect "STOP!!!"
expect "nie został poprawnie zainicjowany"
press Enter

press q
for _ in $(seq 30); do
  tmux_ has-session -t "$session" 2>/dev/null || { echo "interactive korpus: passed"; exit 0; }
  sleep 0.1
done
echo "FAILED: korpus did not quit on q"
exit 1
