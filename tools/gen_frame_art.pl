#!/usr/bin/perl
# Draws the frame's pictures: the program icon (a loudspeaker cabinet), the
# document icon (a response graph) and the splash picture. Run from the
# repository root; writes resources/win32/sonrix.ico, resources/win32/document.ico and
# resources/win32/splash.bmp. The outputs are committed, so the build needs no Perl
# for them.
use strict;
use warnings;

my $out = shift // 'resources/win32';

# ---- a canvas of RGBA pixels ----------------------------------------------
sub canvas { my ($w, $h, @rgba) = @_; return { w => $w, h => $h, p => [ map { [@rgba] } 1 .. $w * $h ] }; }

sub plot {
    my ($c, $x, $y, @rgba) = @_;
    $x = int($x); $y = int($y);
    return if $x < 0 || $y < 0 || $x >= $c->{w} || $y >= $c->{h};
    $c->{p}[$y * $c->{w} + $x] = [@rgba];
}

sub rect {
    my ($c, $x0, $y0, $x1, $y1, @rgba) = @_;
    for my $y ($y0 .. $y1) { plot($c, $_, $y, @rgba) for $x0 .. $x1; }
}

# Filled disc; pixels within the ring [inner, outer) of radius.
sub ring {
    my ($c, $cx, $cy, $outer, $inner, @rgba) = @_;
    for my $y (int($cy - $outer) .. int($cy + $outer) + 1) {
        for my $x (int($cx - $outer) .. int($cx + $outer) + 1) {
            my $d = sqrt(($x + 0.5 - $cx) ** 2 + ($y + 0.5 - $cy) ** 2);
            plot($c, $x, $y, @rgba) if $d < $outer && $d >= $inner;
        }
    }
}

sub line {
    my ($c, $x0, $y0, $x1, $y1, $thick, @rgba) = @_;
    my $n = int(abs($x1 - $x0) > abs($y1 - $y0) ? abs($x1 - $x0) : abs($y1 - $y0)) + 1;
    for my $i (0 .. $n) {
        my $x = $x0 + ($x1 - $x0) * $i / $n;
        my $y = $y0 + ($y1 - $y0) * $i / $n;
        rect($c, int($x), int($y), int($x) + $thick - 1, int($y) + $thick - 1, @rgba);
    }
}

# ---- file writers ---------------------------------------------------------
sub bmp24 {
    my ($c) = @_;
    my ($w, $h) = ($c->{w}, $c->{h});
    my $row = ($w * 3 + 3) & ~3;
    my $data = '';
    for my $y (reverse 0 .. $h - 1) {
        my $line = '';
        for my $x (0 .. $w - 1) { my $p = $c->{p}[$y * $w + $x]; $line .= pack('C3', $p->[2], $p->[1], $p->[0]); }
        $data .= $line . ("\0" x ($row - $w * 3));
    }
    return pack('A2 V v v V', 'BM', 54 + length $data, 0, 0, 54)
         . pack('V l l v v V V l l V V', 40, $w, $h, 1, 24, 0, length $data, 2835, 2835, 0, 0) . $data;
}

# One icon image: 32-bit colour with alpha, plus the AND mask older
# systems use.
sub icon_image {
    my ($c) = @_;
    my ($w, $h) = ($c->{w}, $c->{h});
    my ($xor, $and) = ('', '');
    my $mask_row = (($w + 31) >> 5) * 4;
    for my $y (reverse 0 .. $h - 1) {
        my @bits = (0) x ($mask_row * 8);
        for my $x (0 .. $w - 1) {
            my $p = $c->{p}[$y * $w + $x];
            $xor .= pack('C4', $p->[2], $p->[1], $p->[0], $p->[3]);
            $bits[$x] = $p->[3] ? 0 : 1;
        }
        $and .= pack('B*', join '', @bits);
    }
    return pack('V l l v v V V l l V V', 40, $w, 2 * $h, 1, 32, 0, length($xor) + length($and), 0, 0, 0, 0) . $xor . $and;
}

sub ico {
    my @images = map { icon_image($_) } @_;
    my $offset = 6 + 16 * @images;
    my $dir = pack('v v v', 0, 1, scalar @images);
    my $body = '';
    for my $i (0 .. $#images) {
        my $c = $_[$i];
        $dir .= pack('C C C C v v V V', $c->{w} & 255, $c->{h} & 255, 0, 0, 1, 32, length $images[$i], $offset + length $body);
        $body .= $images[$i];
    }
    return $dir . $body;
}

sub save {
    my ($name, $bytes) = @_;
    open my $f, '>:raw', "$out/$name" or die "$out/$name: $!";
    print $f $bytes;
    close $f;
}

# ---- the pictures ---------------------------------------------------------
my @clear = (0, 0, 0, 0);
my @walnut = (120, 72, 40, 255);
my @edge = (60, 36, 20, 255);
my @cone = (40, 40, 48, 255);
my @surround = (90, 90, 100, 255);
my @cap = (190, 190, 200, 255);

sub speaker_icon {
    my ($s) = @_;    # 16 or 32
    my $k = $s / 32;
    my $c = canvas($s, $s, @clear);
    rect($c, int(6 * $k), 0, int(25 * $k), $s - 1, @edge);
    rect($c, int(7 * $k), 1, int(24 * $k), $s - 2, @walnut);
    ring($c, 16 * $k, 8 * $k, 3.5 * $k, 0, @surround);      # tweeter
    ring($c, 16 * $k, 8 * $k, 1.8 * $k, 0, @cap);
    ring($c, 16 * $k, 21 * $k, 8.5 * $k, 0, @surround);     # woofer
    ring($c, 16 * $k, 21 * $k, 7 * $k, 0, @cone);
    ring($c, 16 * $k, 21 * $k, 2.5 * $k, 0, @cap);
    return $c;
}

sub graph_icon {
    my ($s) = @_;
    my $k = $s / 32;
    my $c = canvas($s, $s, @clear);
    rect($c, 1, 1, $s - 2, $s - 2, 0, 0, 0, 255);
    rect($c, 2, 2, $s - 3, $s - 3, 255, 255, 255, 255);
    for my $g (1 .. 3) {    # grid
        my $v = int(2 + $g * ($s - 4) / 4);
        line($c, $v, 2, $v, $s - 3, 1, 200, 200, 200, 255);
        line($c, 2, $v, $s - 3, $v, 1, 200, 200, 200, 255);
    }
    my @prev;
    for my $x (2 .. $s - 3) {    # a roll-off at both ends
        my $t = ($x - 2) / ($s - 5);
        my $y = 0.35 + 0.45 * (exp(-12 * $t) + exp(-12 * (1 - $t))) + 0.04 * sin(18 * $t);
        my @pt = ($x, 2 + $y * ($s - 5));
        line($c, @prev, @pt, $s >= 32 ? 2 : 1, 200, 0, 0, 255) if @prev;
        @prev = @pt;
    }
    return $c;
}

sub splash {
    my ($w, $h) = (422, 140);
    my $c = canvas($w, $h, 0, 0, 0, 255);
    for my $y (0 .. $h - 1) {    # night-blue gradient
        my $f = $y / ($h - 1);
        rect($c, 0, $y, $w - 1, $y, int(10 + 20 * $f), int(24 + 40 * $f), int(70 + 90 * $f), 255);
    }
    for my $g (1 .. 9) {    # log-frequency grid
        my $x = int(110 + $g * 30);
        line($c, $x, 14, $x, $h - 15, 1, 40, 70, 130, 255);
    }
    for my $g (1 .. 4) { my $y = int(14 + $g * 22); line($c, 110, $y, $w - 10, $y, 1, 40, 70, 130, 255); }
    my @prev;
    for my $x (110 .. $w - 10) {    # a measured-looking response
        my $t = ($x - 110) / ($w - 120);
        my $y = 0.5 + 0.4 * exp(-9 * $t) + 0.35 * exp(-9 * (1 - $t)) + 0.05 * sin(40 * $t) * (1 - $t);
        my @pt = ($x, 14 + $y * ($h - 60));
        line($c, @prev, @pt, 2, 250, 210, 60, 255) if @prev;
        @prev = @pt;
    }
    my $big = speaker_icon(32);    # the cabinet, enlarged three times
    for my $y (0 .. 31) {
        for my $x (0 .. 31) {
            my $p = $big->{p}[$y * 32 + $x];
            rect($c, 4 + 3 * $x, 22 + 3 * $y, 6 + 3 * $x, 24 + 3 * $y, @$p) if $p->[3];
        }
    }
    return $c;
}

save('sonrix.ico', ico(speaker_icon(32), speaker_icon(16)));
save('document.ico', ico(graph_icon(32), graph_icon(16)));
save('splash.bmp', bmp24(splash()));
