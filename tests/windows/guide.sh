#!/usr/bin/env bash
# The operators' guide: 읽어보기.txt in the packed folder has its BOM and CRLF
# and only the Windows steps, README.ko.txt only the Linux ones, and every
# message the guide quotes is worded exactly so in the program.
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
guide=$stage/읽어보기.txt
[ "$(head -c 3 "$guide" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "읽어보기.txt has no BOM"
! LC_ALL=C grep -q $'[^\r]$' "$guide" || fail "읽어보기.txt has lines without CRLF"
# The Debian package's README.ko.txt: the same guide, Linux steps, plain UTF-8.
packaging/windows/guide.sh linux "$version" "$out/README.ko.txt"
! LC_ALL=C grep -q $'\r\|^@\|^\xef\xbb\xbf' "$out/README.ko.txt" && grep -q dialout "$out/README.ko.txt" &&
  ! grep -q dialout "$guide" || fail "README.ko.txt or 읽어보기.txt has the other platform's steps"
# Every message text the guides quote ("  > ", [...] for what the program
# fills in) must be worded exactly so in the program. Read from the guides as
# operators get them, so that lines for one platform are compared too; a
# quote indented otherwise would be skipped, so it fails.
perl -CSD -e '
  local $/; my $src = join "", map { open my $f, "<", $_ or die; <$f> } "app/Messages.cpp", "app/main.cpp";
  $src =~ s/"\s*\n\s*"//g;
  my %line; while ($src =~ /"((?:[^"\\]|\\.)*)"/g) { (my $t = $1) =~ s/\\"/"/g; $line{$_} = 1 for split /\\n/, $t }
  my ($bad, $quotes) = (0, 0);
  for my $guide (@ARGV) {
    open my $g, "<", $guide or die; (my $text = <$g>) =~ s/^\x{feff}//; $text =~ tr/\r//d;
    for (split /\n/, $text) {
      next unless /^\s*>/;
      unless (s/^  > //) { print STDERR "$guide: a quote not indented as \"  > \": $_\n"; $bad = 1; next }
      $quotes++;
      my $re = join "", map { /^\[/ ? "%\\d" : quotemeta } split /(\[[^\]]*\])/;
      next if grep { /^$re$/ } keys %line;
      print STDERR "$guide: not a message of the program: $_\n"; $bad = 1;
    }
  }
  print "$quotes\n";
  exit $bad' "$guide" "$out/README.ko.txt" > "$out/guide-quotes" || fail "the guide quotes a message the program does not show"
echo "guide: BOM, CRLF; all $(cat "$out/guide-quotes") quoted lines of both guides as in app/Messages.cpp"
