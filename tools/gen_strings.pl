#!/usr/bin/perl
# Generates the native string lookup, the .rc STRINGTABLE and the named id
# constants (resources/string_ids.h) from resources/strings.txt: one
# "id<TAB>text" or "id<TAB>kName<TAB>text" per line, text in C escapes. Code
# refers to a string by its name only.
use strict;
use warnings;
my ($src, $out) = @ARGV;
open(my $in, '<:raw', $src) or die "$src: $!";
my @rows;
my @names;
my %seen;
my %named;
while (my $line = <$in>) {
    $line =~ s/\r?\n$//;
    next if $line =~ /^\s*(#|$)/;
    my ($id, $text) = $line =~ /^(\d+)\t(.*)$/ or die "$src:$.: expected id<TAB>text\n";
    die "$src:$.: duplicate id $id\n" if $seen{$id}++;
    if ($text =~ /^(k[A-Z][A-Za-z0-9]*)\t(.*)$/) {
        die "$src:$.: duplicate name $1\n" if $named{$1}++;
        push @names, [$1, $id];
        $text = $2;
    }
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
mkdir "$out/resources" unless -d "$out/resources";
open(my $h, '>:raw', "$out/resources/string_ids.h.tmp") or die;
print $h "// Generated from resources/strings.txt; do not edit.\n#pragma once\n\nnamespace srx {\n\n";
print $h "inline constexpr int $_->[0] = $_->[1];\n" for sort { $a->[1] <=> $b->[1] } @names;
print $h "\n}  // namespace srx\n";
close $h;
for my $f ("string_table.cpp", "strings.rc", "resources/string_ids.h") {
    my $new = do { local (@ARGV, $/) = "$out/$f.tmp"; <> };
    my $old = -e "$out/$f" ? do { local (@ARGV, $/) = "$out/$f"; <> } : undef;
    if (defined $old && $old eq $new) { unlink "$out/$f.tmp"; } else { rename "$out/$f.tmp", "$out/$f" or die; }
}
