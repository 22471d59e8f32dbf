#!/bin/sh
# Makes isamtool's manual page (roff) from the program's own help, so that the two never differ.
#   make-man.sh path/to/isamtool isamtool.1
set -eu
tool=$1
out=$2
version=$("$tool" --version)
{
  printf '.TH ISAMTOOL 1 "" "%s" "User Commands"\n' "$version"
  printf '.SH NAME\nisamtool \\- build, import, export, inspect, verify and repair tables\n'
  printf '.SH SYNOPSIS\n.B isamtool\n\\fICOMMAND\\fR [\\fIOPTIONS\\fR] \\fITABLE\\fR [\\fIFILE\\fR]\n'
  printf '.br\n.B isamtool\n\\fICOMMAND\\fR \\-\\-help\n'
  printf '.SH DESCRIPTION\nThe help of isamtool and of each of its commands, as the program prints it.\n'
  # Each command's whole help, its prose included. Backslashes and lines that start with a dot
  # or a quote would be read as roff.
  commands=$("$tool" --help | awk '/^Subcommands:/ {on = 1; next} /^$/ {on = 0} on {print $1}')
  for help in "" $commands; do
    if [ -n "$help" ]; then printf '.SH "isamtool %s"\n' "$help"; fi
    printf '.nf\n'
    # shellcheck disable=SC2086
    "$tool" $help --help | sed -e 's/\\/\\e/g' -e 's/^\./\\\&./' -e "s/^'/\\\\\&'/"
    printf '.fi\n'
  done
  printf '.SH ENVIRONMENT\n.TP\n.B KATALOG_PASSWORD\n'
  printf 'The password of an enciphered table when neither \\-\\-password nor \\-\\-password\\-file gives one.\n'
  printf '.SH EXIT STATUS\n0 success, 1 a table or data error, 2 a usage error, 128 + N after signal N.\n'
} >"$out"
