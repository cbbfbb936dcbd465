// Declaration-only stand-in for the parts of AppKit the Mac adapters use, for the syntax check on
// Linux. Signatures and values follow Apple's public documentation.
#pragma once

#include <Foundation/Foundation.h>

#define APPKIT_EXTERN FOUNDATION_EXPORT

NS_ASSUME_NONNULL_BEGIN

@class NSMenu, NSImage, NSDockTile, NSWindow, NSRunningApplication;

#pragma mark - Events

typedef NS_ENUM(NSUInteger, NSEventType){
    NSEventTypeLeftMouseDown = 1,
    NSEventTypeLeftMouseUp = 2,
    NSEventTypeRightMouseDown = 3,
    NSEventTypeRightMouseUp = 4,
};

typedef NS_OPTIONS(unsigned long long, NSEventMask){
    NSEventMaskLeftMouseDown = 1ULL << NSEventTypeLeftMouseDown,
    NSEventMaskLeftMouseUp = 1ULL << NSEventTypeLeftMouseUp,
    NSEventMaskRightMouseDown = 1ULL << NSEventTypeRightMouseDown,
    NSEventMaskRightMouseUp = 1ULL << NSEventTypeRightMouseUp,
    // https://developer.apple.com/documentation/appkit/nsevent/eventtypemask/any
    // Apple's page gives no value; the SDK sets every bit (NSUIntegerMax).
    NSEventMaskAny = NSUIntegerMax,
};

@interface NSEvent : NSObject
@property(readonly) NSEventType type;
@end

#pragma mark - Responders, views and controls

@interface NSResponder : NSObject
@end

@interface NSView : NSResponder
- (instancetype)initWithFrame:(NSRect)frameRect;
@property(nullable, copy) NSString* toolTip;
@end

typedef NSInteger NSControlStateValue;
static const NSControlStateValue NSControlStateValueOff = 0;
static const NSControlStateValue NSControlStateValueOn = 1;

@interface NSControl : NSView
@property(nullable, weak) id target;
@property(nullable) SEL action;
@property(getter=isEnabled) BOOL enabled;
@property(copy) NSString* stringValue;
- (NSInteger)sendActionOn:(NSEventMask)mask;
- (void)performClick:(nullable id)sender;
@end

@interface NSButton : NSControl
@property(copy) NSString* title;
@end

@interface NSStatusBarButton : NSButton
@end

@interface NSTextField : NSControl
@property(nullable, copy) NSString* placeholderString;
@end

@interface NSSecureTextField : NSTextField
@end

// https://developer.apple.com/documentation/appkit/nswindow/level-swift.struct
typedef NSInteger NSWindowLevel;
// https://developer.apple.com/documentation/appkit/nswindow/level-swift.struct/floating
// Apple's page gives no value; the SDK maps it to kCGFloatingWindowLevel, 3.
static const NSWindowLevel NSFloatingWindowLevel = 3;

@interface NSWindow : NSResponder
@property(nullable, weak) NSView* initialFirstResponder;
// https://developer.apple.com/documentation/appkit/nswindow/level-swift.property
@property NSWindowLevel level;
@end

#pragma mark - Application

typedef NS_ENUM(NSInteger, NSApplicationActivationPolicy){
    NSApplicationActivationPolicyRegular = 0,
    NSApplicationActivationPolicyAccessory = 1,
    NSApplicationActivationPolicyProhibited = 2,
};

typedef NS_ENUM(NSUInteger, NSApplicationTerminateReply){
    NSTerminateCancel = 0,
    NSTerminateNow = 1,
    NSTerminateLater = 2,
};

@class NSApplication;

@protocol NSApplicationDelegate <NSObject>
@optional
- (NSApplicationTerminateReply)applicationShouldTerminate:(NSApplication*)sender;
- (BOOL)applicationShouldHandleReopen:(NSApplication*)sender hasVisibleWindows:(BOOL)flag;
- (void)applicationDidFinishLaunching:(NSNotification*)notification;
- (void)applicationWillTerminate:(NSNotification*)notification;
// https://developer.apple.com/documentation/appkit/nsapplicationdelegate/applicationsupportssecurerestorablestate(_:)
- (BOOL)applicationSupportsSecureRestorableState:(NSApplication*)app API_AVAILABLE(macos(12.0));
@end

@interface NSApplication : NSResponder
@property(class, readonly, strong) __kindof NSApplication* sharedApplication;
@property(nullable, weak) id<NSApplicationDelegate> delegate;
@property(nullable, readonly, strong) NSEvent* currentEvent;
// https://developer.apple.com/documentation/appkit/nsapplication/isactive
@property(getter=isActive, readonly) BOOL active;
@property(null_resettable, strong) NSImage* applicationIconImage;
@property(readonly, strong) NSDockTile* dockTile;
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
- (void)run;
- (void)terminate:(nullable id)sender;
// https://developer.apple.com/documentation/appkit/nsapplication/nextevent(matching:until:inmode:dequeue:)
- (nullable NSEvent*)nextEventMatchingMask:(NSEventMask)mask
                                 untilDate:(nullable NSDate*)expiration
                                    inMode:(NSRunLoopMode)mode
                                   dequeue:(BOOL)deqFlag;
// https://developer.apple.com/documentation/appkit/nsapplication/sendevent(_:)
- (void)sendEvent:(NSEvent*)event;
// https://developer.apple.com/documentation/appkit/nsapplication/activate(ignoringotherapps:)
- (void)activateIgnoringOtherApps:(BOOL)ignoreOtherApps;
#if __MAC_OS_X_VERSION_MAX_ALLOWED >= __MAC_14_0
// https://developer.apple.com/documentation/appkit/nsapplication/activate()
- (void)activate API_AVAILABLE(macos(14.0));
#endif
// https://developer.apple.com/documentation/appkit/nsapplication/mainmenu
@property(nullable, strong) NSMenu* mainMenu;
@end

APPKIT_EXTERN __kindof NSApplication* _Null_unspecified NSApp;

@interface NSDockTile : NSObject
- (void)display;
@end

#pragma mark - Status bar and menus

@interface NSMenuItem : NSObject
+ (NSMenuItem*)separatorItem;
- (instancetype)initWithTitle:(NSString*)string action:(nullable SEL)selector keyEquivalent:(NSString*)charCode;
@property(copy) NSString* title;
@property(nullable, weak) id target;
@property(nullable) SEL action;
@property(getter=isEnabled) BOOL enabled;
@property NSControlStateValue state;
@property(nullable, strong) NSMenu* submenu;
@end

@interface NSMenu : NSObject
- (instancetype)initWithTitle:(NSString*)title;
- (void)addItem:(NSMenuItem*)newItem;
// https://developer.apple.com/documentation/appkit/nsmenu/additem(withtitle:action:keyequivalent:)
- (NSMenuItem*)addItemWithTitle:(NSString*)string action:(nullable SEL)selector keyEquivalent:(NSString*)charCode;
@property BOOL autoenablesItems;
@end

@interface NSStatusItem : NSObject
@property(readonly, strong, nullable) NSStatusBarButton* button;
@property(nullable, strong) NSMenu* menu;
@end

@interface NSStatusBar : NSObject
@property(class, readonly, strong) NSStatusBar* systemStatusBar;
- (NSStatusItem*)statusItemWithLength:(CGFloat)length;
@end

// https://developer.apple.com/documentation/appkit/nsvariablestatusitemlength
static const CGFloat NSVariableStatusItemLength = -1;

#pragma mark - Alerts

typedef NS_ENUM(NSUInteger, NSAlertStyle){
    NSAlertStyleWarning = 0,
    NSAlertStyleInformational = 1,
    NSAlertStyleCritical = 2,
};

typedef NSInteger NSModalResponse;
// https://developer.apple.com/documentation/appkit/nsapplication/modalresponse/alertfirstbuttonreturn
static const NSModalResponse NSAlertFirstButtonReturn = 1000;

@interface NSAlert : NSObject
@property(copy) NSString* messageText;
@property(copy) NSString* informativeText;
@property NSAlertStyle alertStyle;
@property(nullable, strong) NSView* accessoryView;
@property(readonly, strong) NSWindow* window;
- (NSButton*)addButtonWithTitle:(NSString*)title;
- (void)layout;
- (NSModalResponse)runModal;
@end

#pragma mark - Drawing

typedef CGFloat NSFontWeight;
APPKIT_EXTERN const NSFontWeight NSFontWeightBold;
APPKIT_EXTERN const NSFontWeight NSFontWeightHeavy;

@interface NSFont : NSObject
+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight;
@end

@interface NSColor : NSObject
@property(class, strong, readonly) NSColor* systemOrangeColor;
@property(class, strong, readonly) NSColor* systemGreenColor;
+ (NSColor*)colorWithCalibratedWhite:(CGFloat)white alpha:(CGFloat)alpha;
- (NSColor*)colorWithAlphaComponent:(CGFloat)alpha;
- (void)setFill;
@end

@interface NSBezierPath : NSObject
+ (NSBezierPath*)bezierPathWithRoundedRect:(NSRect)rect xRadius:(CGFloat)xRadius yRadius:(CGFloat)yRadius;
- (void)fill;
@end

@interface NSImage : NSObject
+ (instancetype)imageWithSize:(NSSize)size
                      flipped:(BOOL)drawingHandlerShouldBeCalledWithFlippedContext
               drawingHandler:(BOOL (^)(NSRect dstRect))drawingHandler;
@end

typedef NSString* NSAttributedStringKey;
APPKIT_EXTERN NSAttributedStringKey const NSFontAttributeName;
APPKIT_EXTERN NSAttributedStringKey const NSForegroundColorAttributeName;

@interface NSString (NSStringDrawing)
- (NSSize)sizeWithAttributes:(nullable NSDictionary<NSAttributedStringKey, id>*)attrs;
- (void)drawAtPoint:(NSPoint)point withAttributes:(nullable NSDictionary<NSAttributedStringKey, id>*)attrs;
@end

#pragma mark - Workspace

@interface NSRunningApplication : NSObject
// An empty array when none runs (developer.apple.com/documentation/appkit/nsrunningapplication/
// runningapplications(withbundleidentifier:)); whether an SSH session sees the login session's
// applications is not documented.
+ (NSArray<NSRunningApplication*>*)runningApplicationsWithBundleIdentifier:(NSString*)bundleIdentifier;
// https://developer.apple.com/documentation/appkit/nsrunningapplication/processidentifier
@property(readonly) pid_t processIdentifier;
@end

@interface NSWorkspaceOpenConfiguration : NSObject <NSCopying>
+ (instancetype)configuration;
@property(copy) NSArray<NSString*>* arguments;
@property BOOL activates;
@end

@interface NSWorkspace : NSObject
@property(class, readonly, strong) NSWorkspace* sharedWorkspace;
- (nullable NSURL*)URLForApplicationWithBundleIdentifier:(NSString*)bundleIdentifier;
- (void)openApplicationAtURL:(NSURL*)applicationURL
               configuration:(NSWorkspaceOpenConfiguration*)configuration
           completionHandler:(void (^_Nullable)(NSRunningApplication* _Nullable app,
                                                NSError* _Nullable error))completionHandler;
@end

NS_ASSUME_NONNULL_END
