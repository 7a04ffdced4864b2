# Devices of the i386 build: the pc machine, the ORVA board, QEMU's standard VGA
# for comparisons, and the ISA debug-exit port the benchmark guest stops with.
CONFIG_I440FX=y
CONFIG_ORVA=y
CONFIG_VGA_PCI=y
CONFIG_ISA_DEBUG=y
CONFIG_VMPORT=y
CONFIG_VMMOUSE=y
