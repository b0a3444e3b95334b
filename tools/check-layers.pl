#!/usr/bin/perl
# Fails when a portable source includes a header of a layer above it or any
# win32/ header. The table is the dependency order of the libraries (the
# top CMakeLists.txt adds them in this order and each links only earlier
# ones); code in win32/ folders is the one Win32 layer on top and may
# include anything.
use strict;
use warnings;
use File::Find;

my $root = shift // '.';
my %allowed = (
    platform  => [qw(platform)],
    resources => [qw(resources platform)],
    data      => [qw(data resources platform)],
    dsp       => [qw(dsp data resources platform)],
    audio     => [qw(audio dsp data resources platform)],
    design    => [qw(design dsp data resources platform)],
    measure   => [qw(measure audio dsp data resources platform)],
    graph     => [qw(graph dsp data resources platform)],
    app       => [qw(app design audio dsp data resources platform)],
    cli       => [qw(cli app measure graph design audio dsp data resources platform)],
);
my @faults;
for my $layer (sort keys %allowed) {
    my %ok = map { $_ => 1 } @{ $allowed{$layer} };
    next unless -d "$root/$layer";
    find(sub {
        return unless /\.(?:h|cpp)$/;
        my $rel = $File::Find::name;
        $rel =~ s{^\Q$root\E/}{};
        return if $rel =~ m{(?:^|/)win32/};
        open(my $fh, '<', $_) or die "$rel: $!";
        while (my $line = <$fh>) {
            next unless $line =~ /^\s*#\s*include\s+"([^"]+)"/;
            my $inc = $1;
            if ($inc =~ m{(?:^|/)win32/}) {
                push @faults, "$rel:$.: portable code includes a Win32 header: $inc";
            } elsif ($inc =~ m{^([a-z_]+)/} && exists $allowed{$1} && !$ok{$1}) {
                push @faults, "$rel:$.: $layer may not depend on $1: $inc";
            }
        }
        close $fh;
    }, "$root/$layer");
}
print "$_\n" for @faults;
print scalar(@faults) ? "layering: " . scalar(@faults) . " faults\n" : "layering: clean\n";
exit(@faults ? 1 : 0);
