#pragma once
// The running program as the screens see it: the context and the registry
// of screens. Every screen is a single instance, created when first shown
// and unloaded when another screen takes over; the registry remembers the
// order in which they were created so that ending the program unloads the
// newest first. Screens reach one another only through the navigation
// module (app/Navigation.h), which is the one user of the templates
// below.
//
// An unloaded screen is hidden at once and deleted later, from the main
// loop, when no wait and no modal window is running: a handler of the
// screen may still be on the stack (the drill unloads the level menu while
// the menu's start handler is running, a refresh may be waiting inside a
// nested event pump), and a screen must never be deleted under it.
#include <QPointer>
#include <QTimer>
#include <typeindex>
#include <vector>

#include "context/Context.h"
#include "platform/ui/TwipsForm.h"

namespace kestrel {

class App {
public:
    explicit App(Context& ctx);
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
            if (s.type == std::type_index(typeid(T)) && s.form)
                return static_cast<T*>(s.form.data());
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
    // screen was not the active one. A small window (the wait screen) is
    // shown over the active screen without becoming the active one.
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
    // Deletes the unloaded screens now, unless a wait or modal window is
    // running. The main loop does it by itself; tests call it.
    void deleteUnloaded();
    // Unloaded screens not deleted yet.
    int unloadedCount() const;

private:
    struct Entry {
        std::type_index type;
        QPointer<TwipsForm> form;
    };
    void showForm(TwipsForm& form);
    void showSmall(TwipsForm& form);

    Context& m_ctx;
    std::vector<Entry> m_screens;
    std::vector<QPointer<TwipsForm>> m_unloaded;
    QTimer m_reaper; // deletes unloaded screens from the main loop
    QPointer<TwipsForm> m_active;
    bool m_fullScreen = false;
};

} // namespace kestrel
