/* A multiboot guest for measuring the QEMU board device: it repeats one kind of
 * access as often as its command line says, then ends QEMU through the ISA
 * debug-exit port (0xF4). The command line is "KIND COUNT", KIND one of
 *   in     8-bit reads of the Miscellaneous Output register (port 0x3CC)
 *   out    8-bit writes of the CRTC index (port 0x3D4)
 *   mmio   32-bit reads of the cursor position register (graphics window)
 *   ram    32-bit writes of the frame buffer (guest RAM speed, for reference)
 *   none   nothing (start-up and exit only)
 * Built with: gcc -m32 -ffreestanding -nostdlib -static -O2 -Wl,-Ttext=0x100000 */
#include <stdint.h>

#define MULTIBOOT_MAGIC 0x1BADB002u
#define MULTIBOOT_FLAGS 0u

__attribute__((section(".multiboot"), used, aligned(4))) static const uint32_t header[3] = {
    MULTIBOOT_MAGIC, MULTIBOOT_FLAGS, (uint32_t) - (MULTIBOOT_MAGIC + MULTIBOOT_FLAGS)};

struct multiboot_info {
  uint32_t flags, mem_lower, mem_upper, boot_device, cmdline;
};

static inline uint8_t inb(uint16_t port) {
  uint8_t value;
  __asm__ volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
  return value;
}

static inline void outb(uint16_t port, uint8_t value) {
  __asm__ volatile("outb %0, %1" : : "a"(value), "Nd"(port));
}

static int starts_with(const char* text, const char* word) {
  while (*word)
    if (*text++ != *word++) return 0;
  return *text == ' ';
}

static uint32_t count_after_space(const char* text) {
  uint32_t n = 0;
  while (*text && *text != ' ') ++text;
  while (*text == ' ') ++text;
  while (*text >= '0' && *text <= '9') n = n * 10 + (uint32_t)(*text++ - '0');
  return n;
}

#define WINDOW 0x08000000u /* the graphics window at power-up */

void entry(uint32_t magic, const struct multiboot_info* info) {
  const char* cmdline =
      (magic == 0x2BADB002u && (info->flags & 4)) ? (const char*)info->cmdline : "";
  /* The boot loader's name comes first: skip to the first argument. */
  while (*cmdline && *cmdline != ' ') ++cmdline;
  while (*cmdline == ' ') ++cmdline;
  uint32_t n = count_after_space(cmdline);
  volatile uint32_t* cursor = (volatile uint32_t*)(WINDOW + 0x400000u + 0x11Cu);
  volatile uint32_t* fb = (volatile uint32_t*)(WINDOW + 0x800000u);
  uint32_t sink = 0;
  if (starts_with(cmdline, "in")) {
    for (uint32_t i = 0; i < n; ++i) sink += inb(0x3CC);
  } else if (starts_with(cmdline, "out")) {
    for (uint32_t i = 0; i < n; ++i) outb(0x3D4, (uint8_t)i);
  } else if (starts_with(cmdline, "mmio")) {
    for (uint32_t i = 0; i < n; ++i) sink += *cursor;
  } else if (starts_with(cmdline, "ram")) {
    for (uint32_t i = 0; i < n; ++i) fb[i & 0xFFFF] = i;
  }
  outb(0xF4, (uint8_t)(sink & 0)); /* exit status (0 << 1) | 1 */
  for (;;) __asm__ volatile("hlt");
}

__attribute__((naked, section(".text.start"))) void _start(void) {
  __asm__ volatile(
      "mov $0x90000, %esp\n"
      "push %ebx\n"
      "push %eax\n"
      "call entry\n");
}
