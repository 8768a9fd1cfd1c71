// Calls into code built for Windows the way a Windows host may call it.
//
// The i386 Windows ABI keeps the stack aligned to 4 bytes only; GCC's Linux
// code keeps 16. So that the library (and every function of ours it calls
// back) meets the stack a Windows host may hand it, the arguments are copied
// to a spot 4 bytes past a 16-byte boundary before the call. The frame is
// described to the unwinder, so that an exception can cross it.
//
// std::uint32_t pe32CallWindows(void (*procedure)(), const std::uint32_t* arguments,
//                               std::uint32_t count)
// Works for cdecl and stdcall alike: the stack pointer comes back from EBP.

        .text
        .globl pe32CallWindows
        .hidden pe32CallWindows
        .type pe32CallWindows, @function
pe32CallWindows:
        .cfi_startproc
        pushl %ebp
        .cfi_def_cfa_offset 8
        .cfi_offset %ebp, -8
        movl %esp, %ebp
        .cfi_def_cfa_register %ebp
        pushl %esi
        pushl %edi
        .cfi_offset %esi, -12
        .cfi_offset %edi, -16
        movl 12(%ebp), %esi
        movl 16(%ebp), %ecx
        leal (,%ecx,4), %edx
        movl %esp, %eax
        subl %edx, %eax
        andl $-16, %eax
        subl $4, %eax
        movl %eax, %esp
        movl %esp, %edi
        cld
        rep movsl
        call *8(%ebp)
        leal -8(%ebp), %esp
        popl %edi
        popl %esi
        popl %ebp
        .cfi_def_cfa %esp, 4
        ret
        .cfi_endproc
        .size pe32CallWindows, .-pe32CallWindows

        .section .note.GNU-stack, "", @progbits
