#!/usr/bin/env bash
# Markdown tables from `korva-host validate --json` files, one column per
# plug-in: every check's result (failures/cases and the first finding's kind
# when it fails, the kind when it warns), the failed and warned checks
# counted apart, then every figure. Used for the README's validator section:
#   tools/validate/figures-table.sh korva.json other.json ... > table.md
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 RESULT.json..." >&2; exit 1; }
jq -r -s '
  def name: .plugin | split("/") | last | sub("\\.so$"; "");
  def cell($c): if $c == null then "-"
    elif $c.status == "FAIL" then "**FAIL** \($c.failures)/\($c.cases) \($c.kind // "")"
    elif $c.status == "warn" then "warn \($c.kind // "")"
    else $c.status end;
  . as $runs
  | ($runs | map(name)) as $names
  | ($runs[0].checks | map({group, check})) as $rows
  | "| group | check | " + ($names | join(" | ")) + " |",
    "|---|---|" + ($names | map("---|") | join("")),
    "| | level (seed) | " + ($runs | map("\(.level) (\(.seed))") | join(" | ")) + " |",
    ($rows[] | . as $r
      | "| \($r.group) | \($r.check) | "
        + ($runs | map(.checks | map(select(.group == $r.group and .check == $r.check)) | first
                       | cell(.)) | join(" | ")) + " |"),
    "| | checks failed / with warnings | "
      + ($runs | map("\([.checks[] | select(.status == "FAIL")] | length) / \([.checks[] | select(.warnings > 0)] | length)") | join(" | ")) + " |",
    "",
    "| group | figure | " + ($names | join(" | ")) + " |",
    "|---|---|" + ($names | map("---|") | join("")),
    ([$runs[].checks[] | . as $c | .figures[]
      | {group: $c.group, name, unit: (.unit | sub(" ?in [0-9]+ [a-z]+$"; ""))}]
      | unique_by([.group, .name]) | sort_by(.group) []
      | . as $f
      | "| \($f.group) | \($f.name)\(if $f.unit == "" then "" else " (\($f.unit))" end) | "
        + ($runs | map([.checks[] | select(.group == $f.group) | .figures[]
                        | select(.name == $f.name) | .value] | first
                       | if . == null then "-"
                         elif (. | fabs) >= 100 or . == (. | floor) then (. | round | tostring)
                         else (. * 1000 | round / 1000 | tostring) end) | join(" | ")) + " |")
' "$@"
