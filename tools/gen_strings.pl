#!/usr/bin/perl
# Generates the native string lookup and the .rc STRINGTABLE from
# resources/strings.txt: one "id<TAB>text" per line, text in C escapes.
use strict;
use warnings;
my ($src, $out) = @ARGV;
open(my $in, '<:raw', $src) or die "$src: $!";
my @rows;
my %seen;
while (my $line = <$in>) {
    $line =~ s/\r?\n$//;
    next if $line =~ /^\s*(#|$)/;
    my ($id, $text) = $line =~ /^(\d+)\t(.*)$/ or die "$src:$.: expected id<TAB>text\n";
    die "$src:$.: duplicate id $id\n" if $seen{$id}++;
    push @rows, [$id, $text];
}
close $in;
@rows = sort { $a->[0] <=> $b->[0] } @rows;
mkdir $out unless -d $out;
open(my $c, '>:raw', "$out/string_table.cpp.tmp") or die;
print $c "// Generated from resources/strings.txt; do not edit.\n";
print $c "#include \"resources/string_table.h\"\n\nnamespace srx {\n";
print $c "const StringEntry kStringTable[] = {\n";
print $c "    {$_->[0], \"$_->[1]\", sizeof(\"$_->[1]\") - 1},\n" for @rows;
print $c "};\nconst int kStringTableSize = sizeof(kStringTable) / sizeof(kStringTable[0]);\n}\n";
close $c;
open(my $r, '>:raw', "$out/strings.rc.tmp") or die;
print $r "// Generated from resources/strings.txt; do not edit.\n#pragma code_page(65001)\nSTRINGTABLE\nBEGIN\n";
for (@rows) {
    # rc strings double their quotes instead of escaping them.
    (my $t = $_->[1]) =~ s/\\"/""/g;
    print $r "    $_->[0], \"$t\"\n";
}
print $r "END\n";
close $r;
for my $f ("string_table.cpp", "strings.rc") {
    my $new = do { local (@ARGV, $/) = "$out/$f.tmp"; <> };
    my $old = -e "$out/$f" ? do { local (@ARGV, $/) = "$out/$f"; <> } : undef;
    if (defined $old && $old eq $new) { unlink "$out/$f.tmp"; } else { rename "$out/$f.tmp", "$out/$f" or die; }
}
