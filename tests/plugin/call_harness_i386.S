#if defined(_WIN32)
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif
        .text
        .globl SYMBOL(callWithObject)
        .globl SYMBOL(harnessReturnPoint)
SYMBOL(callWithObject):
        pushl %ebp
        movl %esp, %ebp
        pushl %ebx
        pushl %esi
        pushl %edi
        movl %esp, %esi
        pushl 16(%ebp)          // the argument
        movl 12(%ebp), %ecx     // the object
        call *8(%ebp)
SYMBOL(harnessReturnPoint):
        movl %esp, %edx
        subl %esi, %edx
        movl 20(%ebp), %ebx
        movl %edx, (%ebx)
        movl %esi, %esp
        popl %edi
        popl %esi
        popl %ebx
        popl %ebp
        ret
#if !defined(_WIN32)
        .section .note.GNU-stack, "", @progbits
#endif
