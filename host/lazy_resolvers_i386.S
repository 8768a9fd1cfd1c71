// Lazy resolvers of the host function table, i386.
//
// A call through an entry that the binding pass has not reached lands here.
// Some host operations are methods with the object in ECX and the callee
// popping its arguments, so the call must arrive at the host function exactly
// as the caller made it: same stack, same return address, same ECX and EDX.
// Each resolver pushes its entry's position and jumps to the common part,
// which asks hostLazyResolve where to go, puts that address over the position
// and returns into it.

#if defined(_WIN32)
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif

        .text

#if !defined(_WIN32)
        .hidden SYMBOL(hostLazyResolve)
#endif

        .irp n, 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32
        .globl SYMBOL(hostLazyResolver\n)
#if !defined(_WIN32)
        .hidden SYMBOL(hostLazyResolver\n)
        .type SYMBOL(hostLazyResolver\n), @function
#endif
SYMBOL(hostLazyResolver\n):
        pushl $\n
        jmp lazyResolverCommon
        .endr

lazyResolverCommon:
        // Stack: position, return address, the caller's arguments.
        pushl %eax
        pushl %ecx
        pushl %edx
        pushl %ebp
        movl %esp, %ebp
        // Callers compiled for Windows keep the stack aligned to 4 only; the
        // resolver is C++ and may expect 16.
        andl $-16, %esp
        subl $12, %esp
        pushl 16(%ebp)
        call SYMBOL(hostLazyResolve)
        movl %eax, 16(%ebp)
        movl %ebp, %esp
        popl %ebp
        popl %edx
        popl %ecx
        popl %eax
        // Continue at the host function (or the operation's refusal) as if the
        // caller had called it directly.
        ret

#if !defined(_WIN32)
        .section .note.GNU-stack, "", @progbits
#endif
