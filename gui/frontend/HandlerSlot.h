#ifndef GUI_FRONTEND_HANDLERSLOT_H
#define GUI_FRONTEND_HANDLERSLOT_H

#include <utility>

// The one replaceable handler of a kind of user interaction (message boxes, file dialogs): empty means the
// real dialogs, a test puts its own answers in. One slot per handler type.
template <typename Handler> class HandlerSlot
{
public:
    static Handler &current()
    {
        static Handler handler;
        return handler;
    }

    // Returns the handler that was there before.
    static Handler replace(Handler handler)
    {
        Handler previous = std::move(current());
        current() = std::move(handler);
        return previous;
    }
};

#endif
