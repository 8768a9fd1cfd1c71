// The stub behind formHandlerSlot, x86_64 (System V and Windows).
//
// The slot lies in front of the options form, where the host may look for a
// handler of the form. The first call through the slot lands here: the stub
// asks the host's handler lookup for the handler, puts it into the slot with
// one atomic exchange (a racing caller stores an equally complete address)
// and continues the call there, exactly as the caller made it: every register
// that can carry an argument (and AL, the vector count of a variadic call)
// is kept, the stack is as the caller left it, and the handler returns
// straight to the caller.
//
// A host that has no handler (the lookup answers null) gets no jump to
// nowhere: the slot is left as it is, so a later call asks again, and this
// call returns 0 to its caller with the stack as the caller left it.

#include "host/call_frame_x86_64.inc"

        .text

#if !defined(_WIN32)
        .hidden formHandlerLookup
        .hidden scalarkaOptionsForm
#endif

        .globl resolveFormHandler
#if !defined(_WIN32)
        .hidden resolveFormHandler
        .type resolveFormHandler, @function
#endif
resolveFormHandler:
        // Stack: return address, the caller's stack arguments.
        pushq $0                   // where the call is to continue
        pushq %rbp
        movq %rsp, %rbp
        saveCallRegisters
        callHelper formHandlerLookup
        restoreVectorRegisters
        testq %rax, %rax
        jz 1f
        movq %rax, 8(%rbp)
        xchgq %rax, scalarkaOptionsForm(%rip)
        restoreCallRegisters
        // Into the handler, with the caller's return address on top.
        ret

1:      // No handler: refuse with 0, nothing stored.
        leaq -64(%rbp), %rsp
        popq %r10
        popq %r9
        popq %r8
        popq %rdi
        popq %rsi
        popq %rdx
        popq %rcx
        addq $8, %rsp              // the saved RAX
        popq %rbp
        addq $8, %rsp              // the unused continuation
        xorl %eax, %eax
        ret

#if !defined(_WIN32)
        .size resolveFormHandler, .-resolveFormHandler
        .section .note.GNU-stack, "", @progbits
#endif
