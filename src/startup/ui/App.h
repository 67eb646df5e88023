#pragma once
// The running program as the screens see it: the context and the registry
// of screens. Every screen is a single instance, created when first shown
// and destroyed when unloaded; the registry remembers the order in which
// they were created so that ending the program unloads the newest first.
#include <QPointer>
#include <functional>
#include <typeindex>
#include <vector>

#include "platform/ui/TwipsForm.h"
#include "context/Context.h"

namespace kestrel {

class App {
public:
    explicit App(Context& ctx) : m_ctx(ctx) {}
    App(const App&) = delete;
    App& operator=(const App&) = delete;
    ~App();

    Context& ctx() { return m_ctx; }

    // On a real display screens fill it; tests and screenshots use the
    // design size.
    void setFullScreen(bool on) { m_fullScreen = on; }
    bool fullScreen() const { return m_fullScreen; }

    template <class T> T* find() const {
        for (const auto& s : m_screens)
            if (s.type == std::type_index(typeid(T)) && s.form) return static_cast<T*>(s.form.data());
        return nullptr;
    }

    // Creates the screen if it is not loaded (running its Form_Load).
    template <class T> T& load() {
        if (T* existing = find<T>()) return *existing;
        T* form = new T(*this);
        m_screens.push_back({std::type_index(typeid(T)), form});
        form->Form_Load();
        return *form;
    }

    // Loads, shows and activates the screen; Form_Activate runs when the
    // screen was not the active one.
    template <class T> T& show() {
        T& form = load<T>();
        showForm(form);
        return form;
    }

    template <class T> void unload() {
        if (T* form = find<T>()) unloadForm(form);
    }

    // Runs the activation of a loaded screen again (after a modal window
    // over it has closed, for example).
    void activate(TwipsForm& form);
    void unloadForm(TwipsForm* form);
    // Unloads every screen, newest first.
    void unloadAll();
    TwipsForm* activeForm() const { return m_active; }
    int loadedCount() const;

private:
    struct Entry {
        std::type_index type;
        QPointer<TwipsForm> form;
    };
    void showForm(TwipsForm& form);

    Context& m_ctx;
    std::vector<Entry> m_screens;
    QPointer<TwipsForm> m_active;
    bool m_fullScreen = false;
};

} // namespace kestrel
