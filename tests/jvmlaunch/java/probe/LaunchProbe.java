package probe;

// Started in-process by the launcher's native tests. Reports what it received
// so the test can compare: each argument as code points, selected system
// properties, and then does what the first argument asks.
public final class LaunchProbe {
    private LaunchProbe() {}

    private static String codePoints(String s) {
        StringBuilder b = new StringBuilder();
        s.codePoints().forEach(c -> b.append(String.format("U+%04X ", c)));
        return b.toString().trim();
    }

    public static void main(String[] args) throws Exception {
        long mainStart = System.nanoTime();
        System.out.println("main-start-nanos=" + mainStart);
        System.out.println("argc=" + args.length);
        for (int i = 0; i < args.length; i++) {
            System.out.println("arg" + i + "=[" + args[i] + "] " + codePoints(args[i]));
        }
        for (String name : new String[] {"plimo.moduleName", "plimo.manualJre", "probe.temp", "probe.fromFile"}) {
            System.out.println("property " + name + "=" + System.getProperty(name));
        }
        String mode = args.length > 0 ? args[0] : "";
        if (mode.equals("throw")) {
            throw new IllegalStateException("probe failure");
        }
        if (mode.equals("exit")) {
            System.out.println("calling System.exit(7)");
            System.out.flush();
            System.exit(7);
        }
        if (mode.equals("thread")) {
            Thread worker = new Thread(() -> {
                try {
                    Thread.sleep(800);
                } catch (InterruptedException e) {
                    return;
                }
                System.out.println("worker thread done");
                System.out.flush();
            });
            worker.setDaemon(false);
            worker.start();
        }
        System.out.println("main done");
        System.out.flush();
    }
}
