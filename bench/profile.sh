#!/usr/bin/env bash
# Where the console's start-up goes: instructions executed from process
# start to the first painted window, counted by callgrind (stable on a
# shared machine, unlike times), per stage of construction, next to the
# totals of the bare window and CuteCom.
#
# usage: bench/profile.sh [CONSOLE]   (default: the Release build of this tree)
#   Pass an older build's matrix-console to profile that one instead.
set -euo pipefail
source "$(dirname "$0")/common.sh"

install_if_missing valgrind
install_if_missing cutecom
build_targets matrix-console barewindow matrixstartupprobe
console=${1:-$build/matrix-console}

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
chmod 700 "$out"

# Runs one program under callgrind until the probe ends it at first paint.
profile() {
    local name=$1 program=$2
    with_probe "$out" valgrind --tool=callgrind --separate-threads=yes \
        --callgrind-out-file="$out/$name.%p" "$program" 9>"$out/$name.report" \
        >/dev/null 2>"$out/$name.log"
    grep -q '^painted' "$out/$name.report" || {
        echo "profile: $name did not report a first paint" >&2
        exit 1
    }
}

# Total instructions of all threads of one program.
total() {
    cat "$out/$1".*-* | awk '/^totals:/ { sum += $2 } END { print sum }'
}

# The inclusive cost of the calls from PARENT to CHILD (symbol prefixes) in
# one profile, 0 when there is none.
edge() {
    local file=$1 parent=$2 child=$3
    callgrind_annotate --inclusive=yes --tree=calling --threshold=100 "$file" 2>/dev/null \
        | awk -v parent="???:$parent" -v child="???:$child" '
            /^ *[0-9,]+ .*\*  \?\?\?:/ { inside = index($0, parent) > 0; next }
            inside && /^ *[0-9,]+ .*>   \?\?\?:/ && index($0, child) > 0 {
                gsub(",", "", $1); sum += $1
            }
            END { print sum + 0 }'
}

# The inclusive cost of one function, summed over a profile's thread files.
function_cost() {
    local pattern=$1
    shift
    local sum=0 file n
    for file in "$@"; do
        n=$(callgrind_annotate --inclusive=yes --threshold=100 "$file" 2>/dev/null \
            | awk -v f="???:$pattern" 'index($0, f) > 0 { gsub(",", "", $1); print $1; exit }')
        sum=$((sum + ${n:-0}))
    done
    echo "$sum"
}

profile console "$console"
profile bare "$build/bench/barewindow"
profile cutecom "$(command -v cutecom)"

main_thread=$(ls "$out"/console.*-01)
worker_threads=$(ls "$out"/console.*-* | grep -v -- '-01$' || true)
main_total=$(awk '/^totals:/ { print $2 }' "$main_thread")
in_main=$(function_cost 'main ' "$main_thread")

row() { printf '%-58s %14s %7s\n' "$1" "$(printf "%'d" "$2")" "$(awk -v a="$2" -v b="$3" 'BEGIN { printf "%.1f%%", 100 * a / b }')"; }

echo "Instructions from process start to the first painted window (callgrind)"
echo
printf '%-58s %14s %7s\n' "program" "instructions" "x bare"
bare=$(total bare)
for name in console cutecom bare; do
    t=$(total "$name")
    printf '%-58s %14s %6.2fx\n' "$name" "$(printf "%'d" "$t")" "$(awk -v a="$t" -v b="$bare" 'BEGIN { print a / b }')"
done

echo
echo "The console's main thread, by stage (share of the main thread)"
echo
f=$main_thread
ctor=$(edge "$f" 'main ' 'ctrlUi::ctrlUi(')
setup=$(edge "$f" 'ctrlUi::ctrlUi(' 'Ui_ctrlForm::setupUi(')
row "before main: loading shared libraries, static init" $((main_total - in_main)) "$main_total"
row "QApplication (platform plugin)" "$(edge "$f" 'main ' 'QApplication::QApplication(')" "$main_total"
row "style and palette (plastique plugin)" "$(edge "$f" 'main ' 'installConsoleStyle(')" "$main_total"
row "window constructor, of which:" "$ctor" "$main_total"
row "  first widget: application font, fontconfig set-up" "$(edge "$f" 'ctrlUi::ctrlUi(' 'QWidget::QWidget(')" "$main_total"
row "  setupUi, of which:" "$setup" "$main_total"
row "    tab pages added (restyling their trees)" "$(edge "$f" 'Ui_ctrlForm::setupUi(' 'QTabWidget::addTab(')" "$main_total"
row "    stacked pages added" "$(edge "$f" 'Ui_ctrlForm::setupUi(' 'QStackedWidget::addWidget(')" "$main_total"
row "    texts (retranslateUi), of which rich-text help" "$(edge "$f" 'Ui_ctrlForm::setupUi(' 'Ui_ctrlForm::retranslateUi(')" "$main_total"
row "      rich-text help boxes (setHtml)" "$(edge "$f" 'Ui_ctrlForm::retranslateUi(' 'QTextEdit::setHtml(')" "$main_total"
row "    style sheets set while building" "$(edge "$f" 'Ui_ctrlForm::setupUi(' 'QWidget::setStyleSheet(')" "$main_total"
row "    slots connected by name" "$(edge "$f" 'Ui_ctrlForm::setupUi(' 'QMetaObject::connectSlotsByName(')" "$main_total"
row "  inner tab style sheets applied" "$(edge "$f" 'ctrlUi::ctrlUi(' 'applyDeferredStyleSheets(')" "$main_total"
row "  serial port list (in place, or waiting for the worker)" "$(edge "$f" 'ctrlUi::ctrlUi(' 'ctrlUi::refreshSerialPortList(')" "$main_total"
row "  baud rates, routing tables" $(($(edge "$f" 'ctrlUi::ctrlUi(' 'ctrlUi::fillBaudRateList(') + $(edge "$f" 'ctrlUi::ctrlUi(' 'ctrlUi::setupRoutingTables('))) "$main_total"
row "show (polish, layouts)" "$(edge "$f" 'main ' 'QWidget::show(')" "$main_total"
row "event loop to the first paint" "$(edge "$f" 'main ' 'QApplication::exec(')" "$main_total"
row "main thread in all" "$main_total" "$main_total"
if [ -n "$worker_threads" ]; then
    # shellcheck disable=SC2086
    row "worker thread: serial port list" "$(function_cost 'openableSerialPorts(' $worker_threads)" "$main_total"
fi
echo
echo "Across the whole main thread:"
row "  fontconfig set-up (FcInitLoadConfigAndFonts)" "$(function_cost 'FcInitLoadConfigAndFonts' "$f")" "$main_total"
row "  font look-ups (QFontDatabase::findFont)" "$(function_cost 'QFontDatabase::findFont(' "$f")" "$main_total"
row "  text shaping (QTextEngine::shapeText)" "$(function_cost 'QTextEngine::shapeText(' "$f")" "$main_total"
