# The demo's content, shared by scripts/demo and scripts/screenshots: real
# files (pictures and archives) posted in several parts to alt.binaries.test
# of a running private news server, plus a repost and an incomplete post.
#
# demo_post_content WORK INN: makes WORK/originals/* and posts them through
# INN's anonymous instance (scripts/inn-test-server seed; VEXLO_SEED names the
# seeding program). Needs perl, tar and gzip.
demo_post_content() {
  local work=$1 inn=$2
  local orig=$work/originals
  mkdir -p "$orig"
  # Two pictures (binary PPM images with a colour gradient and a pattern).
  perl -e 'my ($w,$h)=(640,400); print "P6\n$w $h\n255\n";
    for my $y (0..$h-1) { for my $x (0..$w-1) {
      print pack("CCC", ($x*255/$w)&255, ($y*255/$h)&255, (($x^$y)*3)&255) } }' > "$orig/sunset.ppm"
  perl -e 'my ($w,$h)=(320,240); print "P6\n$w $h\n255\n"; srand(7);
    for my $y (0..$h-1) { for my $x (0..$w-1) {
      my $c = (int($x/16)+int($y/16)) % 2 ? 200 : 40;
      print pack("CCC", $c, (20+$c+rand(30))&255, 255-$c) } }' > "$orig/forest.ppm"
  # Two archives: a compressed one of generated text and a plain tar of the pictures.
  mkdir -p "$work/notes"
  for i in $(seq 1 40); do
    perl -e "srand($i); print join(' ', map { ('alpha','beta','gamma','delta','news','binary','part')[rand 7] . int(rand 1000) } 1..2000), \"\n\"" \
      > "$work/notes/note-$i.txt"
  done
  tar -C "$work" -czf "$orig/notes.tar.gz" notes
  tar -C "$orig" -cf "$orig/holiday pics.tar" sunset.ppm forest.ppm
  head -c 250000 /dev/urandom > "$work/broken.bin"
  ls -l "$orig"

  seed() { "$DEMO_ROOT/scripts/inn-test-server" seed --dir "$inn" --instance anon --group alt.binaries.test "$@"; }
  seed --binary "$orig/sunset.ppm" --parts 8 --poster "Ana Demo <ana@example.com>"
  seed --binary "$orig/forest.ppm" --parts 3 --poster "Ben Demo <ben@example.com>" --subject-format "%s [%d/%d]"
  seed --binary "$orig/notes.tar.gz" --parts 4 --poster "Ana Demo <ana@example.com>" --subject-format "%s (%02d/%02d)"
  seed --binary "$orig/holiday pics.tar" --parts 12 --poster "Cy Demo <cy@example.com>" --subject-format "%s (%02d/%02d)"
  # The same picture posted again under the same subject (a repost).
  seed --binary "$orig/forest.ppm" --parts 3 --poster "Ben Demo <ben@example.com>" --subject-format "%s [%d/%d]"
  seed --binary "$work/broken.bin" --parts 5 --skip-parts 2,4 --poster "Dee Demo <dee@example.com>"
}
