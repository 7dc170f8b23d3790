package InstalledTree;
# Checks an installed tree (an install into a scratch root, an unpacked package): runs the
# command, the tools and each module from there, as an operator's host would, with none of
# the build tree in sight. Shared by the install and the package tests.
use strict;
use warnings;
use Exporter 'import';
use File::Basename qw(dirname);
use File::Copy ();
use File::Find ();
use File::Spec;
use File::Temp qw(tempdir);
use Test::More;

our @EXPORT_OK = qw(source_dir build_dir project_version scratch run check_installed_tree);

my $source = File::Spec->rel2abs($ENV{PM_SOURCE_DIR} // dirname(__FILE__) . '/../../..');

sub source_dir { $source }

# The build tree: PM_BUILD_DIR (ctest sets it), else build/ in the checkout; undef when
# neither holds a configured tree.
sub build_dir {
    my $dir = File::Spec->rel2abs($ENV{PM_BUILD_DIR} // "$source/build");
    return -f "$dir/CMakeCache.txt" ? $dir : undef;
}

# The version of the whole, from the top-level project() call.
sub project_version {
    open my $fh, '<', "$source/CMakeLists.txt" or die "CMakeLists.txt: $!";
    while (<$fh>) { return $1 if /^project\(\w+ VERSION (\S+)/ }
    die "CMakeLists.txt: no project version\n";
}

sub scratch { tempdir('pm_install_XXXXXX', TMPDIR => 1, CLEANUP => 1) }

# Runs a command with %env added to (or, for undef values, taken out of) the environment
# and the working directory cwd. Returns { status, out, err }.
sub run {
    my ($opt, @cmd) = @_;
    my $capture = scratch();
    my $pid = fork // die "fork: $!";
    if ($pid == 0) {
        chdir $opt->{cwd} or exit 126 if $opt->{cwd};
        while (my ($k, $v) = each %{ $opt->{env} // {} }) {
            if (defined $v) { $ENV{$k} = $v } else { delete $ENV{$k} }
        }
        open STDIN, '<', '/dev/null';
        open STDOUT, '>', "$capture/out";
        open STDERR, '>', "$capture/err";
        exec @cmd or exit 127;
    }
    waitpid $pid, 0;
    my %r = (status => $? >> 8);
    for my $s (qw(out err)) {
        open my $fh, '<', "$capture/$s" or die;
        local $/;
        $r{$s} = <$fh>;
    }
    return \%r;
}

# The directory under $root that holds BerMeas.pm.
sub perl_dir_under {
    my ($root) = @_;
    my $found;
    File::Find::find(sub { $found //= $File::Find::dir if $_ eq 'BerMeas.pm' }, $root);
    return $found;
}

# check_installed_tree(root => DIR, prefix => DIR, [inc => 'perl5lib'|'none'])
# Runs the tests of one installed tree: files in place, each module loaded from the
# tree, pm2pif converting a sample of each kind, bertree and bermeas-convert. With inc
# 'none' the modules must be found without PERL5LIB (the command knows where they are).
sub check_installed_tree {
    my %arg = @_;
    my $top = "$arg{root}$arg{prefix}";
    my $perl_dir = perl_dir_under($top);
    ok(defined $perl_dir, "modules installed under $top") or return;
    my %lib = (PERL5LIB => $perl_dir, PERLLIB => undef);
    my %env = (%lib, ($arg{inc} // 'perl5lib') eq 'none' ? (PERL5LIB => undef) : ());

    subtest 'files in place' => sub {
        ok(-x "$top/bin/$_", "bin/$_") for qw(pm2pif bertree bermeas-convert);
        for my $page (qw(man1/pm2pif.1 man1/bertree.1 man1/bermeas-convert.1
                         man3/measdoc.3pm man3/BerMeas.3pm man3/radiobin.3pm)) {
            ok(-f "$top/share/man/$page" || -f "$top/share/man/$page.gz", "manual page $page");
        }
        ok(-f "$perl_dir/$_", $_) for qw(measdoc.pm BerMeas.pm radiobin.pm auto/measdoc/measdoc.so
            auto/BerMeas/BerMeas.so auto/radiobin/radiobin.so auto/radiobin/libzelpaal.so);
    };

    subtest 'each module loads from the tree' => sub {
        my $r = run({ env => \%lib }, $^X, '-e', <<'PERL');
use measdoc; use BerMeas; use radiobin;
print "$_ $INC{$_}\n" for qw(measdoc.pm BerMeas.pm radiobin.pm);
print "so $_\n" for @DynaLoader::dl_shared_objects;
PERL
        is($r->{status}, 0, 'use measdoc; use BerMeas; use radiobin') or diag $r->{err};
        my @paths = $r->{out} =~ /^\S+ (.+)$/mg;
        is(scalar @paths, 6, 'three modules and their shared objects');
        ok(index($_, "$perl_dir/") == 0, "from the tree: $_") for @paths;
    };

    my $work = scratch();
    subtest 'pm2pif' => sub {
        my $r = run({ env => \%env }, "$top/bin/pm2pif", '--version');
        is($r->{out}, 'pm2pif ' . project_version() . "\n", '--version is the project version');
        $r = run({ env => \%env, cwd => "$source/samples" }, "$top/bin/pm2pif", '-q',
            '-c', 'pm2pif.json', '-o', "$work/out",
            'xml/boda_A2.xml', 'ber/meas-rnc.ber', 'alcatel/PMRES011.01a.3.');
        is($r->{status}, 0, 'converts an XML, a BER and an Alcatel sample') or diag $r->{err};
        opendir my $dh, "$work/out" or return fail("no output directory");
        my @kinds = grep { /\.(?:pif|pt)\z/ } readdir $dh;
        cmp_ok(scalar @kinds, '>=', 3, 'PIF files written');
    };

    subtest 'bertree' => sub {
        my $r = run({}, "$top/bin/bertree", '-i', "$source/samples/ber/meas-rnc.ber");
        is($r->{status}, 0, 'exit status');
        like($r->{out}, qr/\ASEQUENCE \{\n  \[0\] \{\n/, 'indented tree');
        $r = run({}, "$top/bin/bertree", '--version');
        SKIP: {
            skip 'bertree has no --version', 1 unless $r->{status} == 0;
            like($r->{out}, qr/\b\Q${\ project_version()}\E\b/, '--version is the project version');
        }
    };

    subtest 'bermeas-convert' => sub {
        my $name = 'A20261205.1430+0100-1445+0100_RNC01.ber';
        File::Copy::copy("$source/samples/ber/meas-rnc.ber", "$work/$name") or die "copy: $!";
        my $r = run({ cwd => $work }, "$top/bin/bermeas-convert", $name);
        is($r->{status}, 0, 'converts with the example configuration') or diag $r->{err};
        opendir my $dh, "$work/inter_d" or return fail('no inter_d');
        ok(scalar(grep { /\.pif\z/ } readdir $dh), 'PIF files in inter_d');
    };
}

1;
