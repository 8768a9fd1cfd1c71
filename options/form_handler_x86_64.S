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
        pushq %rax
        pushq %rcx
        pushq %rdx
        pushq %rsi
        pushq %rdi
        pushq %r8
        pushq %r9
        pushq %r10
        andq $-16, %rsp
        subq $128, %rsp
        movups %xmm0, 0(%rsp)
        movups %xmm1, 16(%rsp)
        movups %xmm2, 32(%rsp)
        movups %xmm3, 48(%rsp)
        movups %xmm4, 64(%rsp)
        movups %xmm5, 80(%rsp)
        movups %xmm6, 96(%rsp)
        movups %xmm7, 112(%rsp)
#if defined(_WIN32)
        subq $32, %rsp
        call formHandlerLookup
        addq $32, %rsp
#else
        call formHandlerLookup
#endif
        movups 0(%rsp), %xmm0
        movups 16(%rsp), %xmm1
        movups 32(%rsp), %xmm2
        movups 48(%rsp), %xmm3
        movups 64(%rsp), %xmm4
        movups 80(%rsp), %xmm5
        movups 96(%rsp), %xmm6
        movups 112(%rsp), %xmm7
        testq %rax, %rax
        jz 1f
        movq %rax, 8(%rbp)
        xchgq %rax, scalarkaOptionsForm(%rip)
        leaq -64(%rbp), %rsp
        popq %r10
        popq %r9
        popq %r8
        popq %rdi
        popq %rsi
        popq %rdx
        popq %rcx
        popq %rax
        popq %rbp
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
