// Lazy resolvers of the host function table, x86_64.
//
// A call through an entry that the binding pass has not reached lands here.
// The call must arrive at the host function exactly as the caller made it, so
// every register that can carry an argument (and AL, which counts the vector
// registers of a variadic call) is kept, the stack is left as it was, and the
// host function returns straight to the caller.

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
        movq 8(%rbp), %rcx
        subq $32, %rsp
        call hostLazyResolve
        addq $32, %rsp
#else
        movq 8(%rbp), %rdi
        call hostLazyResolve
#endif
        movq %rax, 8(%rbp)
        movups 0(%rsp), %xmm0
        movups 16(%rsp), %xmm1
        movups 32(%rsp), %xmm2
        movups 48(%rsp), %xmm3
        movups 64(%rsp), %xmm4
        movups 80(%rsp), %xmm5
        movups 96(%rsp), %xmm6
        movups 112(%rsp), %xmm7
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
        // Continue at the host function (or the operation's refusal) as if the
        // caller had called it directly.
        ret

#if !defined(_WIN32)
        .section .note.GNU-stack, "", @progbits
#endif
