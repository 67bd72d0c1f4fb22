#!/usr/bin/perl
# Checks that every relative link of the tree's Markdown files resolves: the file or folder it names
# exists in the tree, and its #anchor names a heading (or an <a id>) of the Markdown file it points
# at. Anchors are made as GitHub makes them: the heading's text lower-cased, every character but
# letters, digits, '_', '-' and blanks dropped, blanks turned into '-', a repeated one numbered
# -1, -2 and so on. Links with a scheme (https:, mailto:) are not checked; links inside code (fenced
# blocks, `spans`) and HTML comments are no links.
#
# Usage: scripts/check-links.pl [FILE.md...]   (default: every Markdown file git knows, not ignored)
# Prints each broken link as FILE:LINE, then one summary line; fails when a link is broken.
use strict;
use warnings;
use File::Basename qw(dirname);
use Cwd qw(abs_path);

my $root = abs_path(dirname(abs_path($0)) . '/..');
chdir $root or die "check-links: cannot enter $root: $!\n";

my @files = @ARGV;
if (!@files) {
    open(my $git, '-|', 'git', 'ls-files', '--cached', '--others', '--exclude-standard', '--', '*.md')
        or die "check-links: cannot run git: $!\n";
    @files = grep { -f $_ } map { chomp; $_ } <$git>;
    close $git;
}

# The lines of a Markdown file with code and comments blanked out, so that what is left is prose.
my %prose;
sub prose_of {
    my ($file) = @_;
    return $prose{$file} if $prose{$file};
    open(my $in, '<:utf8', $file) or return $prose{$file} = [];
    my @lines = <$in>;
    close $in;
    my ($fence, $comment) = ('', 0);
    for my $line (@lines) {
        chomp $line;
        if ($fence ne '') {
            $fence = '' if $line =~ /^\s{0,3}\Q$fence\E[`~]*\s*$/;
            $line = '';
            next;
        }
        if ($line =~ /^\s{0,3}(```|~~~)/) {
            $fence = $1;
            $line = '';
            next;
        }
        if ($comment) {
            if ($line =~ s/^.*?-->//) { $comment = 0 } else { $line = ''; next }
        }
        $line =~ s/<!--.*?-->//g;
        if ($line =~ s/<!--.*$//) { $comment = 1 }
        # A code span: a run of backticks up to the same run.
        $line =~ s/(`+)(.+?)(?<!`)\1(?!`)/ code /g;
    }
    return $prose{$file} = \@lines;
}

my %anchors;
sub anchors_of {
    my ($file) = @_;
    return $anchors{$file} if $anchors{$file};
    my (%seen, %set);
    open(my $in, '<:utf8', $file) or return $anchors{$file} = {};
    my @raw = <$in>;
    close $in;
    my $lines = prose_of($file);
    for my $i (0 .. $#$lines) {
        $set{$1} = 1 while $lines->[$i] =~ /<a\s+(?:id|name)="([^"]+)"/g;
        next unless $lines->[$i] =~ /^\s{0,3}#{1,6}\s/;
        # The heading as written, code spans included: GitHub keeps their text.
        my $text = $raw[$i];
        chomp $text;
        $text =~ s/^\s{0,3}#{1,6}\s+//;
        $text =~ s/\s+#+\s*$//;
        $text =~ s/!?\[([^\]]*)\]\([^)]*\)/$1/g;
        $text =~ s/<[^>]+>//g;
        my $slug = lc $text;
        $slug =~ s/[^\w\- ]//g;
        $slug =~ s/ /-/g;
        my $unique = $slug;
        $unique = $slug . '-' . $seen{$slug} if $seen{$slug};
        $seen{$slug}++;
        $set{$unique} = 1;
    }
    return $anchors{$file} = \%set;
}

sub unescape {
    my ($text) = @_;
    $text =~ s/%([0-9A-Fa-f]{2})/chr(hex $1)/ge;
    return $text;
}

my ($checked, @broken) = (0);
for my $file (@files) {
    my $lines = prose_of($file);
    my $dir = dirname($file);
    for my $i (0 .. $#$lines) {
        my @targets;
        push @targets, $1 while $lines->[$i] =~ /\]\(\s*<?([^\s)>]*)>?(?:\s+"[^"]*")?\s*\)/g;
        push @targets, $1 if $lines->[$i] =~ /^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s|$)/;
        for my $target (@targets) {
            next if $target =~ m{^([a-z][a-z0-9+.-]*:|//)}i;
            $checked++;
            my ($path, $anchor) = split /#/, $target, 2;
            my $where = "$file:" . ($i + 1);
            my $resolved = $file;
            if ($path ne '') {
                my $full = abs_path("$dir/" . unescape($path));
                if (!defined $full || !-e $full || index("$full/", "$root/") != 0) {
                    push @broken, "$where: $target: no such file in the tree";
                    next;
                }
                $resolved = $full;
            }
            next unless defined $anchor;
            if ($resolved !~ /\.md$/i || -d $resolved) {
                push @broken, "$where: $target: an anchor into a file that is not Markdown";
                next;
            }
            push @broken, "$where: $target: no heading gives the anchor #$anchor"
                unless anchors_of($resolved)->{unescape($anchor)};
        }
    }
}

print "$_\n" for @broken;
my $count = @files;
if (@broken) {
    printf "links: %d of %d relative links in %d Markdown files are broken\n", scalar @broken, $checked, $count;
    exit 1;
}
print "links: $checked relative links in $count Markdown files resolve\n";
