// Lazy resolvers of the host function table, x86_64.
//
// A call through an entry that the binding pass has not reached lands here.
// The call must arrive at the host function exactly as the caller made it, so
// every register that can carry an argument (and AL, which counts the vector
// registers of a variadic call) is kept, the stack is left as it was, and the
// host function returns straight to the caller.

#include "host/call_frame_x86_64.inc"

        .text

#if !defined(_WIN32)
        .hidden hostLazyResolve
#endif

        .irp n, 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32
        .globl hostLazyResolver\n
#if !defined(_WIN32)
        .hidden hostLazyResolver\n
        .type hostLazyResolver\n, @function
#endif
hostLazyResolver\n:
        pushq $\n
        jmp lazyResolverCommon
        .endr

lazyResolverCommon:
        // Stack: position, return address, the caller's stack arguments.
        pushq %rbp
        movq %rsp, %rbp
        saveCallRegisters
#if defined(_WIN32)
        movq 8(%rbp), %rcx
#else
        movq 8(%rbp), %rdi
#endif
        callHelper hostLazyResolve
        movq %rax, 8(%rbp)
        restoreVectorRegisters
        restoreCallRegisters
        // Continue at the host function (or the operation's refusal) as if the
        // caller had called it directly.
        ret

#if !defined(_WIN32)
        .section .note.GNU-stack, "", @progbits
#endif
