"""The comparisons of bench/run: the kit's programs as a user runs them
(console, fresh device root, `shellfit /force` with the package on the
storage card) against the archivers and coreutils on the same file system."""
import os
import shutil
import subprocess
import sys

import inputs
from runner import Tool, compare, syscalls, tree_summary

PEER_SCRIPT = r'''
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    z.setpassword(b'.TORVA.')
    if z.testzip() is not None: sys.exit(1)
    z.extractall(sys.argv[2])
'''


class Bench:
    """`aside`: clean-ups move what a run wrote into a trash folder, emptied
    only when bench/run ends. On an ext4 without a journal (this machine's
    disk) the kernel skips every inode freed in the last minute when it
    allocates one, so creating 20,000 files right after deleting 20,000
    would measure that scan rather than the program."""

    def __init__(self, build, work, log, aside=False):
        self.build = build
        self.work = work
        self.log = log
        self.aside = aside
        self.moved = 0
        self.packages = os.path.join(work, 'packages')
        os.makedirs(self.packages, exist_ok=True)

    def clear(self, folder):
        if self.aside and os.path.lexists(folder):
            trash = os.path.join(self.work, 'trash')
            os.makedirs(trash, exist_ok=True)
            self.moved += 1
            os.rename(folder, os.path.join(trash, str(self.moved)))
        else:
            shutil.rmtree(folder, ignore_errors=True)

    def fresh(self, folder):
        def prepare():
            self.clear(folder)
            os.makedirs(folder)
        return prepare

    # --- inputs -----------------------------------------------------------
    def package(self, name, make_tree, **kwargs):
        path = os.path.join(self.packages, name + '.zip')
        if not os.path.exists(path):
            self.log('making %s' % name)
            inputs.make_package(path + '.part', make_tree, self.work, **kwargs)
            os.rename(path + '.part', path)
        return path

    def device(self, name, package, in_place=False):
        self.clear(os.path.join(self.work, name))
        root = inputs.device_root(os.path.join(self.work, name), package)
        if in_place:
            with open(os.path.join(root, 'registry.reg'), 'a') as registry:
                registry.write(inputs.IN_PLACE)
        program = os.path.join(root, 'fs', inputs.CARD, 'shellfit')
        shutil.copy(os.path.join(self.build, 'shellfit', 'shellfit'), program)
        return root, program

    # --- tools ------------------------------------------------------------
    def kit(self, root, program, prepare=None, cap=None):
        flash = os.path.join(root, 'fs', inputs.FLASH)
        env = dict(os.environ, FITKIT_DEVICE=root, FITKIT_UI='console')
        return Tool('shellfit /force', [[program, '/force']], prepare or self.fresh(flash), env=env,
                    cap=cap, ok=(1,))

    def unzip(self, package, target):
        pw = inputs.PASSWORD
        return Tool('unzip -t, unzip -o', [['unzip', '-qq', '-t', '-P', pw, package],
                                           ['unzip', '-qq', '-o', '-P', pw, package, '-d', target]],
                    self.fresh(target))

    def sevenzip(self, package, target):
        pw = '-p' + inputs.PASSWORD
        return Tool('7zz t, 7zz x', [['7zz', 't', pw, package],
                                     ['7zz', 'x', pw, '-y', '-o' + target, package]],
                    self.fresh(target))

    def python(self, package, target):
        return Tool('zipfile testzip, extractall',
                    [[sys.executable, '-c', PEER_SCRIPT, package, target]], self.fresh(target))

    def same_tree(self, root, target, kit):
        def check():
            if kit.capped:
                return
            ours = tree_summary(os.path.join(root, 'fs', inputs.FLASH))
            theirs = tree_summary(target)
            if ours != theirs:
                raise SystemExit('bench: shellfit wrote %d files, the peer %d; they differ'
                                 % (len(ours), len(theirs)))
        return check

    # --- the comparisons --------------------------------------------------
    def extraction(self, label, package, repeats, seconds, peers=('unzip', '7z'), cap=None):
        self.log('%s: %d repeats' % (label, repeats))
        root, program = self.device('dev-' + os.path.basename(package)[:-4], package)
        target = os.path.join(root, 'fs', 'peer')
        tools = [self.kit(root, program, cap=cap)]
        if 'unzip' in peers:
            tools.append(self.unzip(package, target))
        if '7z' in peers:
            tools.append(self.sevenzip(package, os.path.join(root, 'fs', 'peer7')))
        compare(tools, repeats, self.log, self.same_tree(root, target, tools[0]), seconds)
        return {'label': label, 'tools': tools, 'package_mb': os.path.getsize(package) / 1e6}

    def trust_maker_key(self, root):
        """The maker's key (made once) in the device's registry; the secret key's path."""
        keys = os.path.join(self.work, 'keys')
        if not os.path.exists(os.path.join(keys, 'maker.pub')):
            os.makedirs(keys, exist_ok=True)
            subprocess.run(['minisign', '-G', '-W', '-f', '-p', os.path.join(keys, 'maker.pub'),
                            '-s', os.path.join(keys, 'maker.key')], check=True,
                           stdout=subprocess.DEVNULL)
        with open(os.path.join(keys, 'maker.pub')) as pub:
            key = pub.read().splitlines()[1]
        with open(os.path.join(root, 'registry.reg'), 'a') as registry:
            registry.write('\n[HKEY_LOCAL_MACHINE\\Ident]\n"UpdateKeys"="%s"\n' % key)
        return os.path.join(keys, 'maker.key')

    def sign_release(self, secret, update):
        """The update's release manifest, written by fitkit and signed as a maker does."""
        made = subprocess.run([os.path.join(self.build, 'fitkit', 'fitkit'), 'manifest', update],
                              check=True, capture_output=True, text=True)
        subprocess.run(['minisign', '-S', '-W', '-s', secret, '-m',
                        made.stdout.strip().splitlines()[-1], '-t', 'model=%s' % inputs.MODEL],
                       check=True, stdout=subprocess.DEVNULL)

    def add_main_exe(self, root):
        """A main.exe with a version resource added to the package on the card:
        a release manifest takes the version the package installs from it."""
        exe = os.path.join(self.work, 'version', 'main.exe')
        if not os.path.exists(exe):
            repo = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
            os.makedirs(os.path.dirname(exe), exist_ok=True)
            subprocess.run(['bash', os.path.join(repo, 'tools', 'make-pe-fixture.sh'), 'x64',
                            os.path.join(repo, 'tests', 'readers', 'fixtures', 'v124.rc'), exe],
                           check=True, stdout=subprocess.DEVNULL)
        # The package on the card is a hard link to the one made once: the
        # device gets a copy of its own before it changes.
        package = os.path.join(root, 'fs', inputs.CARD, inputs.PACKAGE_NAME)
        shutil.copyfile(package, package + '.own')
        os.replace(package + '.own', package)
        subprocess.run(['zip', '-q', '-j', '-P', inputs.PASSWORD, package, exe], check=True)

    def signed_device(self, name, package):
        """A device root that holds an update key, with the package on its card
        signed by that key for its model, through its release manifest."""
        root, program = self.device(name, package)
        self.add_main_exe(root)
        self.sign_release(self.trust_maker_key(root),
                          os.path.join(root, 'fs', inputs.CARD, inputs.PACKAGE_NAME))
        return root, program

    def signed_extraction(self, label, package, repeats, seconds, unsigned_too=False):
        """The package installed on a device that requires its signature, against
        the peers (and, with `unsigned_too`, the same run without a key)."""
        self.log('%s: %d repeats' % (label, repeats))
        root, program = self.signed_device('dev-signed', package)
        # The peers unpack the very package signed, main.exe included.
        package = os.path.join(root, 'fs', inputs.CARD, inputs.PACKAGE_NAME)
        tools = [self.kit(root, program)]
        tools[0].name = 'shellfit /force, signed'
        target = os.path.join(root, 'fs', 'peer')
        tools.append(self.unzip(package, target))
        tools.append(self.sevenzip(package, os.path.join(root, 'fs', 'peer7')))
        if unsigned_too:
            plain_root, plain_program = self.device('dev-unsigned', package)
            self.add_main_exe(plain_root)
            tools.append(self.kit(plain_root, plain_program))
        compare(tools, repeats, self.log, self.same_tree(root, target, tools[0]), seconds)
        return {'label': label, 'tools': tools, 'package_mb': os.path.getsize(package) / 1e6}

    def python_sample(self, package, fraction):
        """Python's zipfile decrypts in Python (under 1 MB/s here): it runs
        once on a sample package and its time is scaled by the sample's share."""
        root = os.path.join(self.work, 'dev-python')
        shutil.rmtree(root, ignore_errors=True)
        tool = self.python(package, os.path.join(root, 'peer'))
        compare([tool], 1, self.log)
        tool.times = [t * fraction for t in tool.times]
        tool.cpu = [c * fraction for c in tool.cpu]
        shutil.rmtree(root, ignore_errors=True)
        return tool

    def deletion(self, files, repeats, seconds):
        self.log('DeleteOldFiles on %d files: %d repeats' % (files, repeats))
        template = os.path.join(self.work, 'old-files-%d' % files)
        if not os.path.isdir(template):
            inputs.old_files_tree(template + '.part', files)
            os.rename(template + '.part', template)
        package = self.package('one-file', lambda source: _one_file(source))
        root, program = self.device('dev-delete', package)
        flash = os.path.join(root, 'fs', inputs.FLASH)
        doomed = os.path.join(root, 'fs', 'rm-tree')

        def copy_to(folder):
            def prepare():
                self.clear(folder)
                subprocess.run(['cp', '-a', template, folder], check=True)
                # Same page-cache and dentry state for both sides.
                subprocess.run(['sync'], check=True)
            return prepare

        tools = [self.kit(root, program, prepare=copy_to(flash)),
                 Tool('rm -rf', [['rm', '-rf', doomed]], copy_to(doomed))]

        def check():
            left = tree_summary(flash)
            if set(left) != {'user.hv', 'main.txt'}:
                raise SystemExit('bench: after shellfit the flash drive holds %s'
                                 % sorted(left)[:5])
        compare(tools, repeats, self.log, check, seconds)
        return {'label': 'DeleteOldFiles, {:,} old files in 1,110 nested folders'.format(files),
                'tools': tools}

    def image_device(self, name, kernel_mb):
        """A device root with an image set of a `kernel_mb` kernel on its card."""
        self.clear(os.path.join(self.work, name))
        root = inputs.device_root(os.path.join(self.work, name))
        update = os.path.join(root, 'fs', inputs.CARD, 'Update')
        inputs.image_set(update, os.path.join(self.build, 'tools', 'make-bin-image'), kernel_mb)
        return root, update

    def imagefit_tool(self, name, root):
        def clear_flash():
            self.clear(os.path.join(root, 'flash'))
            if os.path.exists(os.path.join(root, 'journal.log')):
                os.remove(os.path.join(root, 'journal.log'))
        env = dict(os.environ, FITKIT_DEVICE=root, FITKIT_UI='console')
        program = os.path.join(self.build, 'imagefit', 'imagefit')
        return Tool(name, [[program, '\\Storage Card\\Update']], clear_flash, env=env,
                    stdin=b'start\n', ok=(1,))

    def imagefit(self, kernel_mb, repeats, seconds, signed_too=False):
        """imagefit against cp of the same files (and, with `signed_too`, the
        same set signed, on a device that requires it)."""
        self.log('imagefit, %d MB kernel: %d repeats' % (kernel_mb, repeats))
        root, update = self.image_device('dev-image-%d' % kernel_mb, kernel_mb)
        copy = os.path.join(root, 'fs', 'copy')
        files = sorted(os.path.join(update, name) for name in os.listdir(update))
        tools = [self.imagefit_tool('imagefit', root),
                 Tool('cp', [['cp'] + files + [copy]], self.fresh(copy))]
        roots = [root]
        if signed_too:
            signed_root, signed_update = self.image_device('dev-image-signed', kernel_mb)
            self.sign_release(self.trust_maker_key(signed_root), signed_update)
            tools.append(self.imagefit_tool('imagefit, signed', signed_root))
            roots.append(signed_root)

        def check():
            for each in roots:
                region = os.path.join(each, 'flash', 'region2.bin')
                if not os.path.exists(region) or os.path.getsize(region) != kernel_mb << 20:
                    raise SystemExit('bench: imagefit did not write the kernel region')
        compare(tools, repeats, self.log, check, seconds)
        for each in roots:
            self.clear(each)
        return {'label': 'imagefit, %d MB kernel image set' % kernel_mb, 'tools': tools}

    def peak_rss(self, package, in_place=False):
        """One shellfit run, staged or in place, for its peak RSS alone."""
        root, program = self.device('dev-rss', package, in_place)
        tool = self.kit(root, program)
        compare([tool], 1, self.log)
        shutil.rmtree(root)
        return {'package_mb': os.path.getsize(package) / 1e6, 'tool': tool}

    def calls_per_file(self, package, files):
        """System calls per file written, shellfit /force (the whole run) against
        unzip -o."""
        root, program = self.device('dev-calls', package)
        env = dict(os.environ, FITKIT_DEVICE=root, FITKIT_UI='console')
        ours = syscalls([program, '/force'], env)
        target = os.path.join(root, 'fs', 'peer')
        theirs = syscalls(['unzip', '-qq', '-o', '-P', inputs.PASSWORD, package, '-d', target])
        shutil.rmtree(root)
        return {'files': files, 'kit': ours, 'unzip': theirs}


def _one_file(source):
    with open(os.path.join(source, 'main.txt'), 'wb') as out:
        out.write(b'new shell\r\n')
    return ['main.txt']


