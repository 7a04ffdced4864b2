/*
 * The ORVA display board as a device of the pc machine.
 *
 * The board model (liborva-board) owns every register, the display memory and
 * the bus trace; this file only routes the machine's buses to it:
 *
 * - I/O ports: the VGA block 0x3B0-0x3DF, the configuration pair 0x22/0x23, the
 *   wake-up ports 0x94 and 0x102, the Super I/O pair 0x370/0x371 and the
 *   clock-selection pair 0xEA/0xEB where the variant has them, and the TFT
 *   interface's eight ports where the variant decodes them. Ports that touch
 *   are served by one region, so an access inside it reaches the board whole
 *   and the board decides which of its devices answers.
 * - PCI functions 00:0b.0, 00:0c.0 and 00:0c.1: configuration cycles the host
 *   bridge sends them go to the board as mechanism #1 accesses.
 * - The graphics window (16 MB at the graphics base): the display memory as RAM
 *   in both frame-buffer apertures, the register windows over them as I/O
 *   memory, the rest of the window through the board (which answers all ones);
 *   it follows the graphics base when the driver moves it.
 * - The legacy window 0xA0000-0xBFFFF, through the board.
 * - A graphic console fed from the board's scanout: redrawn only when a
 *   register write or a write to display memory may have changed the picture.
 *
 * Every callback runs under the big QEMU lock, which serialises the board.
 */
// clang-format off
#include "qemu/osdep.h" /* QEMU's rule: first, before any other header */
// clang-format on

#include <orva_board.h>

#include "exec/memory.h"
#include "hw/boards.h"
#include "hw/isa/isa.h"
#include "hw/pci/pci.h"
#include "hw/qdev-properties.h"
#include "migration/vmstate.h"
#include "qapi/error.h"
#include "qemu/error-report.h"
#include "qemu/module.h"
#include "qemu/units.h"
#include "qom/object.h"
#include "sysemu/sysemu.h"
#include "ui/console.h"

#define TYPE_ORVA "orva"
#define TYPE_ORVA_FUNCTION "orva-pci-function"
OBJECT_DECLARE_SIMPLE_TYPE(OrvaState, ORVA)
OBJECT_DECLARE_SIMPLE_TYPE(OrvaFunction, ORVA_FUNCTION)

/* Layout of the graphics window, relative to the graphics base. */
#define ORVA_WINDOW_SIZE (16 * MiB)
#define ORVA_APERTURE (8 * MiB)
#define ORVA_LEGACY_BASE 0xA0000
#define ORVA_LEGACY_SIZE 0x20000

/* Contiguous port blocks: the fixed ones and the TFT block, after merging. */
#define ORVA_PORT_REGIONS 8

/* Properties left at these values take the board's own default. */
#define ORVA_UNSET UINT32_MAX
#define ORVA_UNSET_SIZE UINT64_MAX

/* One I/O memory region that forwards to the board at a physical base. */
typedef struct OrvaMmio {
  MemoryRegion mr;
  OrvaState* s;
  hwaddr offset; /* from the window's base (graphics window) or absolute */
  bool in_window;
} OrvaMmio;

typedef struct OrvaPortBlock {
  MemoryRegion mr;
  OrvaState* s;
  uint32_t base;
  bool mapped;
} OrvaPortBlock;

struct OrvaFunction {
  PCIDevice parent_obj;
  OrvaState* owner;
};

struct OrvaState {
  ISADevice parent_obj;

  /* Properties */
  char* chip;
  uint64_t memory;
  uint32_t gbase;
  uint32_t tft_base;
  uint32_t superio_e1;
  OnOffAuto tv_encoder;
  char* trace;
  char* vcd;

  orva_board* board;
  uint32_t memory_bytes;

  MemoryRegion vram;    /* the board's display memory, as RAM */
  MemoryRegion fb[2];   /* aliases of vram in both apertures */
  OrvaMmio window_io;   /* the 16 MB window, where nothing below answers */
  OrvaMmio ge, tv, tft; /* register windows over the first aperture */
  OrvaMmio legacy;      /* 0xA0000-0xBFFFF */
  uint32_t window_base;
  OrvaPortBlock ports[ORVA_PORT_REGIONS];
  bool layout_changed;

  OrvaFunction* functions[3];

  QemuConsole* con;
  uint64_t shown_generation;
  bool full_update;
  bool fresh; /* powered up and not accessed since: a reset changes nothing */

  Notifier exit_notifier;
};

/* ---- Bus accesses ---- */

static void orva_apply_layout(OrvaState* s);

static inline void orva_after_access(OrvaState* s) {
  s->fresh = false;
  if (s->layout_changed) {
    orva_apply_layout(s);
  }
}

static uint64_t orva_port_read(void* opaque, hwaddr addr, unsigned size) {
  OrvaPortBlock* block = opaque;
  OrvaState* s = block->s;
  uint32_t value = orva_board_in(s->board, size * 8, block->base + addr);
  orva_after_access(s);
  return value;
}

static void orva_port_write(void* opaque, hwaddr addr, uint64_t value, unsigned size) {
  OrvaPortBlock* block = opaque;
  OrvaState* s = block->s;
  orva_board_out(s->board, size * 8, block->base + addr, value);
  orva_after_access(s);
}

static const MemoryRegionOps orva_port_ops = {
    .read = orva_port_read,
    .write = orva_port_write,
    .endianness = DEVICE_LITTLE_ENDIAN,
    .valid = {.min_access_size = 1, .max_access_size = 4, .unaligned = true},
    .impl = {.min_access_size = 1, .max_access_size = 4, .unaligned = true},
};

static uint64_t orva_mmio_physical(OrvaMmio* m, hwaddr addr) {
  return (m->in_window ? m->s->window_base : 0) + m->offset + addr;
}

static uint64_t orva_mmio_read(void* opaque, hwaddr addr, unsigned size) {
  OrvaMmio* m = opaque;
  uint32_t value = orva_board_read(m->s->board, size * 8, orva_mmio_physical(m, addr));
  orva_after_access(m->s);
  return value;
}

static void orva_mmio_write(void* opaque, hwaddr addr, uint64_t value, unsigned size) {
  OrvaMmio* m = opaque;
  orva_board_write(m->s->board, size * 8, orva_mmio_physical(m, addr), value);
  orva_after_access(m->s);
}

static const MemoryRegionOps orva_mmio_ops = {
    .read = orva_mmio_read,
    .write = orva_mmio_write,
    .endianness = DEVICE_LITTLE_ENDIAN,
    .valid = {.min_access_size = 1, .max_access_size = 4, .unaligned = true},
    .impl = {.min_access_size = 1, .max_access_size = 4, .unaligned = true},
};

static void orva_mmio_init(OrvaState* s, OrvaMmio* m, const char* name, hwaddr offset,
                           uint64_t size, bool in_window) {
  m->s = s;
  m->offset = offset;
  m->in_window = in_window;
  memory_region_init_io(&m->mr, OBJECT(s), &orva_mmio_ops, m, name, size);
}

/* ---- Layout: where the ports and the window are decoded now ---- */

typedef struct OrvaRange {
  uint32_t first, last;
} OrvaRange;

static int orva_range_compare(const void* a, const void* b) {
  const OrvaRange *x = a, *y = b;
  return x->first < y->first ? -1 : x->first > y->first;
}

/* The board's port blocks now, sorted and merged where they touch or overlap. */
static unsigned orva_port_ranges(OrvaState* s, OrvaRange* out) {
  OrvaRange r[8];
  unsigned n = 0, merged = 0;

  r[n++] = (OrvaRange){0x22, 0x23};
  r[n++] = (OrvaRange){0x94, 0x94};
  r[n++] = (OrvaRange){0x102, 0x102};
  r[n++] = (OrvaRange){0x3B0, 0x3DF};
  if (orva_board_has_super_io(s->board)) {
    r[n++] = (OrvaRange){0x370, 0x371};
    r[n++] = (OrvaRange){0xEA, 0xEB};
  }
  if (orva_board_decodes_tft_ports(s->board)) {
    uint32_t base = orva_board_tft_base_port(s->board);
    r[n++] = (OrvaRange){base, MIN(base + 7, 0xFFFF)};
  }
  qsort(r, n, sizeof(r[0]), orva_range_compare);
  for (unsigned i = 0; i < n; i++) {
    if (merged > 0 && r[i].first <= out[merged - 1].last + 1) {
      out[merged - 1].last = MAX(out[merged - 1].last, r[i].last);
    } else {
      out[merged++] = r[i];
    }
  }
  return merged;
}

/* Whether guest RAM, which takes precedence over the PCI address space, covers
 * the window's base (RAM below 4 GB starts at 0, so any overlap reaches it). */
static bool orva_window_hidden(OrvaState* s) {
  MemoryRegionSection section = memory_region_find(get_system_memory(), s->window_base, 1);
  bool hidden = section.mr && memory_region_is_ram(section.mr) && section.mr != &s->vram;

  if (section.mr) {
    memory_region_unref(section.mr);
  }
  return hidden;
}

static void orva_apply_layout(OrvaState* s) {
  MemoryRegion* io = isa_address_space_io(ISA_DEVICE(s));
  OrvaRange ranges[ORVA_PORT_REGIONS];
  unsigned n = orva_port_ranges(s, ranges);
  uint32_t base = orva_board_gbase(s->board);
  bool moved;

  s->layout_changed = false;
  memory_region_transaction_begin();
  for (unsigned i = 0; i < ORVA_PORT_REGIONS; i++) {
    OrvaPortBlock* block = &s->ports[i];
    if (block->mapped) {
      memory_region_del_subregion(io, &block->mr);
      block->mapped = false;
    }
    if (i < n) {
      block->base = ranges[i].first;
      memory_region_set_size(&block->mr, ranges[i].last - ranges[i].first + 1);
      memory_region_add_subregion_overlap(io, block->base, &block->mr, 1);
      block->mapped = true;
    }
  }
  moved = base != s->window_base;
  if (moved) {
    s->window_base = base;
    memory_region_set_address(&s->window_io.mr, base);
  }
  memory_region_transaction_commit();
  if (moved && orva_window_hidden(s)) {
    warn_report("orva: the graphics window moved to 0x%08" PRIx32
                ", inside guest RAM, which hides it",
                base);
  }
}

static void orva_layout_changed(orva_board* board, void* opaque) {
  OrvaState* s = opaque;
  (void)board;
  s->layout_changed = true; /* applied once the access that moved it returns */
}

/* ---- PCI functions ---- */

static const struct {
  uint8_t device, function;
} orva_functions[3] = {{0x0b, 0}, {0x0c, 0}, {0x0c, 1}};

static uint32_t orva_function_config_read(PCIDevice* dev, uint32_t address, int len) {
  OrvaState* s = ORVA_FUNCTION(dev)->owner;
  uint32_t value =
      orva_board_pci_read(s->board, PCI_SLOT(dev->devfn), PCI_FUNC(dev->devfn), address, len * 8);
  orva_after_access(s);
  return value;
}

static void orva_function_config_write(PCIDevice* dev, uint32_t address, uint32_t value, int len) {
  OrvaState* s = ORVA_FUNCTION(dev)->owner;
  orva_board_pci_write(s->board, PCI_SLOT(dev->devfn), PCI_FUNC(dev->devfn), address, len * 8,
                       value);
  orva_after_access(s);
}

/* QEMU's own view of the configuration space (for `info pci` and the firmware
 * tables) is a copy of the board's, taken before the trace is opened. */
static void orva_function_copy_config(OrvaState* s, PCIDevice* dev) {
  for (unsigned reg = 0; reg < PCI_CONFIG_SPACE_SIZE; reg += 4) {
    uint32_t value =
        orva_board_pci_read(s->board, PCI_SLOT(dev->devfn), PCI_FUNC(dev->devfn), reg, 32);
    pci_set_long(dev->config + reg, value);
  }
}

static void orva_function_class_init(ObjectClass* klass, void* data) {
  DeviceClass* dc = DEVICE_CLASS(klass);
  PCIDeviceClass* k = PCI_DEVICE_CLASS(klass);

  k->config_read = orva_function_config_read;
  k->config_write = orva_function_config_write;
  k->vendor_id = 0xFFFF; /* the board's identification is copied in at realize */
  k->device_id = 0xFFFF;
  k->class_id = PCI_CLASS_OTHERS;
  dc->desc = "ORVA board PCI function (made by the orva device)";
  dc->user_creatable = false;
  dc->hotpluggable = false;
}

static const TypeInfo orva_function_info = {
    .name = TYPE_ORVA_FUNCTION,
    .parent = TYPE_PCI_DEVICE,
    .instance_size = sizeof(OrvaFunction),
    .class_init = orva_function_class_init,
    .interfaces = (InterfaceInfo[]){{INTERFACE_CONVENTIONAL_PCI_DEVICE}, {}},
};

static bool orva_create_functions(OrvaState* s, Error** errp) {
  bool ambiguous = false;
  PCIBus* bus = (PCIBus*)object_resolve_path_type("", TYPE_PCI_BUS, &ambiguous);

  if (!bus) {
    error_setg(errp, "orva: the machine has no%s PCI bus for the board's functions",
               ambiguous ? " single" : "");
    return false;
  }
  for (unsigned i = 0; i < 3; i++) {
    int devfn = PCI_DEVFN(orva_functions[i].device, orva_functions[i].function);
    PCIDevice* dev;

    if (pci_find_device(bus, pci_bus_num(bus), devfn)) {
      error_setg(errp, "orva: PCI slot 00:%02x.%x is taken by another device",
                 orva_functions[i].device, orva_functions[i].function);
      return false;
    }
    /* Function 1 of device 12 needs function 0 to be multi-function. */
    dev = pci_new_multifunction(devfn, i == 1, TYPE_ORVA_FUNCTION);
    ORVA_FUNCTION(dev)->owner = s;
    object_property_add_child(OBJECT(s),
                              i == 0   ? "function-0b.0"
                              : i == 1 ? "function-0c.0"
                                       : "function-0c.1",
                              OBJECT(dev));
    if (!pci_realize_and_unref(dev, bus, errp)) {
      return false;
    }
    orva_function_copy_config(s, dev);
    s->functions[i] = ORVA_FUNCTION(dev);
  }
  return true;
}

/* ---- Console ---- */

static void orva_update_display(void* opaque) {
  OrvaState* s = opaque;
  uint64_t generation = orva_board_state_generation(s->board);
  bool changed = s->full_update || generation != s->shown_generation;
  DisplaySurface* surface = qemu_console_surface(s->con);
  const uint32_t* pixels;
  unsigned width = 0, height = 0;
  int first = -1, last = -1;

  if (s->memory_bytes > 0) {
    DirtyBitmapSnapshot* snap =
        memory_region_snapshot_and_clear_dirty(&s->vram, 0, s->memory_bytes, DIRTY_MEMORY_VGA);
    changed = changed || memory_region_snapshot_get_dirty(&s->vram, snap, 0, s->memory_bytes);
    g_free(snap);
  }
  if (!changed) {
    return;
  }
  s->shown_generation = generation;

  pixels = orva_board_scanout(s->board, &width, &height);
  if (!pixels || width == 0 || height == 0) {
    /* No picture: a blank screen of the size last shown (or 640x480). */
    width = surface ? surface_width(surface) : 640;
    height = surface ? surface_height(surface) : 480;
    pixels = NULL;
  }
  if (s->full_update || !surface || surface_width(surface) != (int)width ||
      surface_height(surface) != (int)height) {
    surface = qemu_create_displaysurface(width, height);
    dpy_gfx_replace_surface(s->con, surface);
    first = 0, last = height - 1;
  }
  s->full_update = false;

  for (unsigned y = 0; y < height; y++) {
    uint8_t* row = (uint8_t*)surface_data(surface) + (size_t)y * surface_stride(surface);
    size_t bytes = (size_t)width * 4;
    if (pixels) {
      const uint32_t* src = pixels + (size_t)y * width;
      if (memcmp(row, src, bytes) != 0) {
        memcpy(row, src, bytes);
        last = MAX(last, (int)y);
        first = first < 0 ? (int)y : first;
      }
    } else {
      memset(row, 0, bytes);
    }
  }
  if (!pixels) {
    first = 0, last = height - 1;
  }
  if (first >= 0) {
    dpy_gfx_update(s->con, 0, first, width, last - first + 1);
  }
}

static void orva_invalidate_display(void* opaque) {
  OrvaState* s = opaque;
  s->full_update = true;
}

static const GraphicHwOps orva_gfx_ops = {
    .invalidate = orva_invalidate_display,
    .gfx_update = orva_update_display,
};

/* ---- Life cycle ---- */

static void orva_exit(Notifier* n, void* data) {
  OrvaState* s = container_of(n, OrvaState, exit_notifier);
  (void)data;
  if (s->board && orva_board_flush(s->board) != 0) {
    error_report("orva: %s", orva_board_error(s->board));
  }
}

static bool orva_make_board(OrvaState* s, Error** errp) {
  orva_board_config config;
  char reason[256] = "";

  orva_board_config_init(&config);
  if (s->chip) {
    config.chip = s->chip;
  }
  if (s->memory != ORVA_UNSET_SIZE) {
    if (s->memory > UINT32_MAX) {
      error_setg(errp, "orva: memory=%" PRIu64 " is too large (at most 8064K)", s->memory);
      return false;
    }
    config.memory_bytes = s->memory;
  }
  if (s->gbase != ORVA_UNSET) {
    if (s->gbase > 0xFF) {
      error_setg(errp, "orva: gbase=0x%" PRIx32 " is not a byte (bits 31-24 of the base)",
                 s->gbase);
      return false;
    }
    config.gbase = s->gbase;
  }
  if (s->tft_base != ORVA_UNSET) {
    if (s->tft_base > 0xFFFF) {
      error_setg(errp, "orva: tft-base=0x%" PRIx32 " is not an I/O port", s->tft_base);
      return false;
    }
    config.tft_base_port = s->tft_base;
  }
  if (s->superio_e1 != ORVA_UNSET) {
    if (s->superio_e1 > 0xFF) {
      error_setg(errp, "orva: superio-e1=0x%" PRIx32 " is not a byte", s->superio_e1);
      return false;
    }
    config.superio_e1 = s->superio_e1;
  }
  if (s->tv_encoder != ON_OFF_AUTO_AUTO) {
    config.tv_encoder_present = s->tv_encoder == ON_OFF_AUTO_ON;
  }
  s->board = orva_board_new(&config, reason, sizeof(reason));
  if (!s->board) {
    error_setg(errp, "orva: %s", reason[0] ? reason : "the board could not be made");
    return false;
  }
  s->memory_bytes = MIN(config.memory_bytes, orva_board_vram_size(s->board));
  return true;
}

static void orva_realize(DeviceState* dev, Error** errp) {
  OrvaState* s = ORVA(dev);
  ISADevice* isa = ISA_DEVICE(dev);
  MemoryRegion* memory = isa_address_space(isa);

  if (!orva_make_board(s, errp)) {
    return;
  }

  memory_region_init_ram_ptr(&s->vram, OBJECT(s), "orva.vram", orva_board_vram_size(s->board),
                             orva_board_vram(s->board));
  memory_region_set_log(&s->vram, true, DIRTY_MEMORY_VGA);

  orva_mmio_init(s, &s->window_io, "orva.window", 0, ORVA_WINDOW_SIZE, true);
  for (unsigned i = 0; i < 2 && s->memory_bytes > 0; i++) {
    memory_region_init_alias(&s->fb[i], OBJECT(s), i ? "orva.fb-high" : "orva.fb", &s->vram, 0,
                             s->memory_bytes);
    memory_region_add_subregion_overlap(&s->window_io.mr, i * ORVA_APERTURE, &s->fb[i], 0);
  }
  orva_mmio_init(s, &s->ge, "orva.ge", 0x400000, 0x40000, true);
  orva_mmio_init(s, &s->tv, "orva.tv", 0x4CA000, 0x1000, true);
  orva_mmio_init(s, &s->tft, "orva.tft", 0x4CC000, 0x1000, true);
  memory_region_add_subregion_overlap(&s->window_io.mr, s->ge.offset, &s->ge.mr, 1);
  memory_region_add_subregion_overlap(&s->window_io.mr, s->tv.offset, &s->tv.mr, 1);
  memory_region_add_subregion_overlap(&s->window_io.mr, s->tft.offset, &s->tft.mr, 1);

  s->window_base = orva_board_gbase(s->board);
  memory_region_add_subregion_overlap(memory, s->window_base, &s->window_io.mr, 1);
  if (orva_window_hidden(s)) {
    warn_report("orva: the graphics window at 0x%08" PRIx32
                " lies inside guest RAM, which hides it: give the machine less memory"
                " (-m) or a higher gbase",
                s->window_base);
  }

  orva_mmio_init(s, &s->legacy, "orva.legacy", ORVA_LEGACY_BASE, ORVA_LEGACY_SIZE, false);
  memory_region_add_subregion_overlap(memory, ORVA_LEGACY_BASE, &s->legacy.mr, 1);

  for (unsigned i = 0; i < ORVA_PORT_REGIONS; i++) {
    s->ports[i].s = s;
    memory_region_init_io(&s->ports[i].mr, OBJECT(s), &orva_port_ops, &s->ports[i], "orva.ports",
                          1);
  }
  orva_apply_layout(s);
  orva_board_on_layout_change(s->board, orva_layout_changed, s);

  if (!orva_create_functions(s, errp)) {
    return;
  }
  /* Reading the configuration spaces took the board's time and bus: power it up
   * again, so the guest meets the board orvasim boots. */
  orva_board_reset(s->board);

  /* The trace starts with the guest's first access. */
  if (s->trace && orva_board_set_trace_file(s->board, s->trace) != 0) {
    error_setg(errp, "orva: trace=%s: %s", s->trace, orva_board_error(s->board));
    return;
  }
  if (s->vcd && orva_board_set_vcd_file(s->board, s->vcd) != 0) {
    error_setg(errp, "orva: vcd=%s: %s", s->vcd, orva_board_error(s->board));
    return;
  }
  s->exit_notifier.notify = orva_exit;
  qemu_add_exit_notifier(&s->exit_notifier);

  s->con = graphic_console_init(dev, 0, &orva_gfx_ops, s);
  s->full_update = true;
  s->fresh = true;
}

static void orva_reset(DeviceState* dev) {
  OrvaState* s = ORVA(dev);

  if (!s->board || s->fresh) {
    return; /* the machine's power-up reset: the board is already powered up */
  }
  orva_board_reset(s->board);
  orva_apply_layout(s);
  s->full_update = true;
  s->fresh = true;
}

static Property orva_properties[] = {
    DEFINE_PROP_STRING("chip", OrvaState, chip),
    DEFINE_PROP_SIZE("memory", OrvaState, memory, ORVA_UNSET_SIZE),
    DEFINE_PROP_UINT32("gbase", OrvaState, gbase, ORVA_UNSET),
    DEFINE_PROP_UINT32("tft-base", OrvaState, tft_base, ORVA_UNSET),
    DEFINE_PROP_UINT32("superio-e1", OrvaState, superio_e1, ORVA_UNSET),
    DEFINE_PROP_ON_OFF_AUTO("tv-encoder", OrvaState, tv_encoder, ON_OFF_AUTO_AUTO),
    DEFINE_PROP_STRING("trace", OrvaState, trace),
    DEFINE_PROP_STRING("vcd", OrvaState, vcd),
    DEFINE_PROP_END_OF_LIST(),
};

static const VMStateDescription orva_vmstate = {
    .name = TYPE_ORVA,
    .unmigratable = 1,
};

static void orva_class_init(ObjectClass* klass, void* data) {
  DeviceClass* dc = DEVICE_CLASS(klass);

  dc->realize = orva_realize;
  dc->reset = orva_reset;
  dc->vmsd = &orva_vmstate;
  dc->hotpluggable = false;
  dc->desc =
      "ORVA display board (ports, PCI functions 00:0b.0/00:0c.0/00:0c.1, graphics "
      "window)";
  set_bit(DEVICE_CATEGORY_DISPLAY, dc->categories);
  device_class_set_props(dc, orva_properties);
  /* A setting left out takes the board's default (the large numbers `help` shows
   * mean "not set"). */
  object_class_property_set_description(
      klass, "chip", "pinto, bramble, bramble-l, mistral, bramble-r, kestrel, bramble-rx, unknown");
  object_class_property_set_description(klass, "memory",
                                        "display memory, 128K steps up to 8064K (board: 4M)");
  object_class_property_set_description(
      klass, "gbase", "CRTC 0x20 at power-up, graphics base bits 31-24 (board: 0)");
  object_class_property_set_description(klass, "tft-base",
                                        "TFT interface ports at power-up (board: 0xd00)");
  object_class_property_set_description(klass, "superio-e1",
                                        "Super I/O device 8 register 0xE1 straps (board: 2)");
  object_class_property_set_description(klass, "tv-encoder",
                                        "the external TV encoder answers (board: on)");
  object_class_property_set_description(klass, "trace", "bus trace file (JSON Lines)");
  object_class_property_set_description(klass, "vcd", "I2C lines as a VCD, written at exit");
}

static const TypeInfo orva_info = {
    .name = TYPE_ORVA,
    .parent = TYPE_ISA_DEVICE,
    .instance_size = sizeof(OrvaState),
    .class_init = orva_class_init,
};

static void orva_register_types(void) {
  type_register_static(&orva_info);
  type_register_static(&orva_function_info);
}

type_init(orva_register_types)
