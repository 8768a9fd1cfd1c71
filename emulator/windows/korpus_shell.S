// KORPUS.dll: the host module as the plug-in sees it on Windows. It exports
// every host service by ordinal; each export jumps through a slot that the
// host program fills with its service when it loads the module. A tail jump
// leaves the plug-in's call exactly as it was made.

        .text
        .irp ord, 30018,35802,40008,41611,41613,30005,38417,40101,52308,52305,52030,52470,33197,22563,22567,22562,52307,52026,52154,52023,52465,52126,52331,41399,51594,52064,52028,52256,52534,52161,52004,52330,52332,30006
        .globl korpusService\ord
korpusService\ord:
        jmp *korpusSlot\ord(%rip)
        .endr

        .data
        .balign 8
        .irp ord, 30018,35802,40008,41611,41613,30005,38417,40101,52308,52305,52030,52470,33197,22563,22567,22562,52307,52026,52154,52023,52465,52126,52331,41399,51594,52064,52028,52256,52534,52161,52004,52330,52332,30006
korpusSlot\ord:
        .quad 0
        .endr

        // (ordinal, slot) pairs for the installer.
        .globl korpusSlotTable
        .balign 8
korpusSlotTable:
        .irp ord, 30018,35802,40008,41611,41613,30005,38417,40101,52308,52305,52030,52470,33197,22563,22567,22562,52307,52026,52154,52023,52465,52126,52331,41399,51594,52064,52028,52256,52534,52161,52004,52330,52332,30006
        .quad \ord
        .quad korpusSlot\ord
        .endr
        .globl korpusSlotTableEnd
korpusSlotTableEnd:
