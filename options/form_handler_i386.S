// The stub behind formHandlerSlot, i386.
//
// The slot lies in front of the options form, where the host may look for a
// handler of the form. The first call through the slot lands here: the stub
// asks the host's handler lookup for the handler, puts it into the slot with
// one atomic exchange (a racing caller stores an equally complete address)
// and continues the call there, exactly as the caller made it: the same
// stack, the same return address, the same EAX, ECX and EDX, so the handler
// sees the caller's arguments and returns straight to the caller.
//
// A host that has no handler (the lookup answers null) gets no jump to
// nowhere: the slot is left as it is, so a later call asks again, and this
// call returns 0 to its caller with the stack as the caller left it, which
// is all a cdecl caller needs to clean up its own arguments.

#if defined(_WIN32)
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif

        .text

#if !defined(_WIN32)
        .hidden SYMBOL(formHandlerLookup)
        .hidden SYMBOL(scalarkaOptionsForm)
#endif

        .globl SYMBOL(resolveFormHandler)
#if !defined(_WIN32)
        .hidden SYMBOL(resolveFormHandler)
        .type SYMBOL(resolveFormHandler), @function
#endif
SYMBOL(resolveFormHandler):
        // Stack: return address, the caller's arguments.
        subl $4, %esp              // where the call is to continue
        pushl %eax
        pushl %ecx
        pushl %edx
        pushl %ebp
        movl %esp, %ebp
        // Callers compiled for Windows keep the stack aligned to 4 only; the
        // lookup is C++ and may expect 16.
        andl $-16, %esp
        call SYMBOL(formHandlerLookup)
        testl %eax, %eax
        jz 2f
        movl %eax, 16(%ebp)
#if defined(_WIN32)
        xchgl %eax, SYMBOL(scalarkaOptionsForm)
#else
        // Position-independent: reach the slot from the global offset table.
        call 1f
1:      popl %ecx
        addl $_GLOBAL_OFFSET_TABLE_+(.-1b), %ecx
        xchgl %eax, SYMBOL(scalarkaOptionsForm)@GOTOFF(%ecx)
#endif
        movl %ebp, %esp
        popl %ebp
        popl %edx
        popl %ecx
        popl %eax
        // Into the handler, with the caller's return address on top.
        ret

2:      // No handler: refuse with 0, nothing stored.
        movl %ebp, %esp
        popl %ebp
        popl %edx
        popl %ecx
        addl $8, %esp              // the saved EAX and the unused continuation
        xorl %eax, %eax
        ret

#if !defined(_WIN32)
        .size SYMBOL(resolveFormHandler), .-SYMBOL(resolveFormHandler)
        .section .note.GNU-stack, "", @progbits
#endif
