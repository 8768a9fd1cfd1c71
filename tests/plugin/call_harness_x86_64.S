        .text
        .globl callWithObject
        .globl harnessReturnPoint
callWithObject:
#if defined(_WIN32)
        // target rcx, object rdx, argument r8, movement r9
        pushq %rbx
        pushq %rsi
        movq %r9, %rsi
        subq $40, %rsp
        movq %rsp, %rbx
        movq %rcx, %rax
        movq %rdx, %rcx
        movq %r8, %rdx
        call *%rax
harnessReturnPoint:
        movq %rsp, %rcx
        subq %rbx, %rcx
        movl %ecx, (%rsi)
        addq $40, %rsp
        popq %rsi
        popq %rbx
        ret
#else
        // target rdi, object rsi, argument rdx, movement rcx
        pushq %rbx
        pushq %r12
        subq $8, %rsp
        movq %rsp, %rbx
        movq %rcx, %r12
        movq %rdi, %rax
        movq %rsi, %rdi
        movq %rdx, %rsi
        call *%rax
harnessReturnPoint:
        movq %rsp, %rcx
        subq %rbx, %rcx
        movl %ecx, (%r12)
        addq $8, %rsp
        popq %r12
        popq %rbx
        ret
        .section .note.GNU-stack, "", @progbits
#endif
