# shellcheck shell=bash
# Sourced by scripts/install-deps.sh and scripts/windows-test.sh: whether this machine runs
# 32-bit x86 Linux programs (Wine's loader, its server and every Windows process under it are
# such programs), natively or through qemu-user registered with the kernel's binfmt_misc.

x86_32_binfmt=/proc/sys/fs/binfmt_misc/qemu-i386

# Builds once, in folder $1, a 32-bit x86 program that only exits with status 0, and runs it.
x86_32_probe() {
  local probe=$1/probe32
  if [ ! -x "$probe" ]; then
    # shellcheck disable=SC2016 # $1 and $0x80 are the assembler's immediates
    printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$probe.s"
    as --32 "$probe.s" -o "$probe.o" && ld -m elf_i386 "$probe.o" -o "$probe" || return 1
  fi
  "$probe" 2>/dev/null
}

# Whether the kernel hands 32-bit x86 programs to qemu-user (then it does so even where it
# could run them itself: binfmt_misc is asked before the kernel's own ELF loader).
x86_32_emulated() {
  [ -r "$x86_32_binfmt" ] && head -n 1 "$x86_32_binfmt" | grep -qx enabled
}

x86_32_as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo -n "$@"
  else
    echo "  registering qemu-i386 needs root (or sudo without a password)" >&2
    return 1
  fi
}

# Registers qemu-i386-static for 32-bit x86 ELF executables and shared objects, or enables
# the entry if it is there but disabled. Flags: F opens the interpreter now, so that it serves
# in every mount namespace; P passes argv[0] as the caller set it, as a native start would; O
# hands qemu the program already opened.
x86_32_register_qemu() {
  local qemu magic mask
  qemu=$(command -v qemu-i386-static) ||
    { echo "  qemu-i386-static is missing; run scripts/install-deps.sh --windows" >&2; return 1; }
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    x86_32_as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || return 1
  fi
  if [ -e "$x86_32_binfmt" ]; then
    echo 1 | x86_32_as_root tee "$x86_32_binfmt" >/dev/null
    return
  fi
  # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386).
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf ':qemu-i386:M::%s:%s:%s:OPF\n' "$magic" "$mask" "$qemu" |
    x86_32_as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
}
